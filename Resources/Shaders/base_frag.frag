// The textured fragment stage. Textured vertices drawn without colour fill
// carry alpha 0: they show the image's own colours. With colour fill the
// image is tinted by the vertex colour.
varying vec4 f_color;
varying vec2 f_texture;
uniform sampler2D texture;

void main(void)
{
    vec4 image = texture2D(texture, f_texture);
    if (f_color.a <= 0.0)
        gl_FragColor = image;
    else
        gl_FragColor = image * f_color;
}
