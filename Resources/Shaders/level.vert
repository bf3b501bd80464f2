// The tile layer's vertex stage: tile corners in world units with their
// tileset coordinates, placed with the view and the projection.
attribute vec2 vertex;
attribute vec2 tex;

uniform mat4 proj;
uniform mat4 view;

varying vec4 f_color;
varying vec2 f_texture;

void main(void)
{
    gl_Position = proj * view * vec4(vertex, 0.0, 1.0);
    f_color = vec4(1.0);
    f_texture = tex;
}
