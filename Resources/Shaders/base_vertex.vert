// The vertex stage shared by the batch renderer's programs. Positions arrive
// in pixels of the current projection, colours as 0-255; each vertex is
// turned by its rotation and placed relative to its pivot (0, 0 for shapes
// drawn where they are), then with the view and the projection. Later depth
// layers sit a little nearer the viewer.
attribute vec3 coord3d;
attribute vec4 color;
attribute vec3 texcoord;
attribute float rotation;
attribute float tX;
attribute float tY;

uniform mat4 proj;
uniform mat4 view;
uniform float tZ;

varying vec4 f_color;
varying vec2 f_texture;

void main(void)
{
    vec2 pivot = vec2(tX, tY);
    vec2 d = coord3d.xy;
    float c = cos(rotation);
    float s = sin(rotation);
    vec2 turned = pivot + vec2(d.x * c - d.y * s, d.x * s + d.y * c);
    gl_Position = proj * view * vec4(turned, coord3d.z - tZ * 0.001, 1.0);
    f_color = color / 255.0;
    f_texture = texcoord.xy;
}
