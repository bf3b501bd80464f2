// Turns the image grey by its luminance, keeping its alpha.
varying vec2 f_texture;
uniform sampler2D texture;

void main(void)
{
    vec4 image = texture2D(texture, f_texture);
    float grey = dot(image.rgb, vec3(0.299, 0.587, 0.114));
    gl_FragColor = vec4(grey, grey, grey, image.a);
}
