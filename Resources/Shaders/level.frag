// The tile layer's fragment stage: each tile shows its tileset image.
varying vec2 f_texture;
uniform sampler2D texture;

void main(void)
{
    gl_FragColor = texture2D(texture, f_texture);
}
