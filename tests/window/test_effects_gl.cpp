// Effects on a real GL context: the shader files compile and link in every
// combination the engine uses, parameters reach their uniforms and
// attributes, and failures stay harmless.
#include <string>

#include "support/TestSupport.h"
#include "window/effect_draw.h"

namespace {

using Rgba = std::array<int, 4>;
using TestSupport::CaptureStdout;

// The batch renderer's own fragment sources, as it compiles them.
const char* const kColourSource =
    "    varying vec4 f_color;     void main(void)    {      gl_FragColor = f_color;    }    ";
const char* const kTextSource =
    "    varying vec2 f_texture;     varying vec4 f_color;    uniform sampler2D texture;    void "
    "main(void)    {      vec4 color = f_color;      vec4 mainColor = vec4(1, 1, 1, "
    "texture2D(texture, f_texture).r) * color;      gl_FragColor = mainColor;    }    ";

class Effects : public EffectDraw::GlScene {
protected:
    // An effect from sources in memory; the compile logs are swallowed.
    static void Build(Effect& effect, const char* vertex, const char* fragment) {
        CaptureStdout([&] {
            if (vertex) EffectCompileShader(&effect, vertex, kVertexStage, false);
            if (fragment) EffectCompileShader(&effect, fragment, kFragmentStage, false);
            EffectLink(&effect);
        });
    }
    static void FullScreenQuad() {
        glBegin(GL_TRIANGLE_STRIP);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(-1, 1);
        glVertex2f(1, 1);
        glEnd();
        glFinish();
    }
};

TEST_F(Effects, BaseShadersCompileOnceAndEveryEngineProgramLinks) {
    ShaderCache cache;
    std::string log = CaptureStdout([&] { AddStartupShaders(cache); });
    EXPECT_EQ(log.rfind("Shader(Basic Vertex Shader) compile info\n", 0), 0u) << log;
    EXPECT_NE(log.find("Shader(Basic Fragment Shader) compile info:\n"), std::string::npos);
    EXPECT_NE(log.find("Shader(Resources/Shaders/level.vert) compile info:\n"), std::string::npos);
    EXPECT_EQ(log.find("error"), std::string::npos) << log;
    for (const char* name : {"BaseLevel", "Grey", "GreyLevel", "Other"}) {
        EXPECT_TRUE(cache.Find(name)->linkOk) << name << "\n" << log;
    }
    EXPECT_EQ(cache.Find("Grey")->vertexShader, BaseVertexShader);
    EXPECT_NE(cache.Find("GreyLevel")->vertexShader, BaseVertexShader);

    // The names are taken: nothing is compiled again, the programs stay.
    uint32_t program = cache.Find("Grey")->program;
    EXPECT_EQ(CaptureStdout([&] { cache.Add("Grey", nullptr, "Resources/Shaders/level.frag"); }),
              "");
    EXPECT_EQ(cache.Find("Grey")->program, program);

    // The renderer's colour and text sources link with the base vertex stage.
    for (const char* source : {kColourSource, kTextSource}) {
        Effect effect;
        std::string out = CaptureStdout([&] {
            EffectCompileShader(&effect, source, kFragmentStage, false);
            EffectLink(&effect);
        });
        EXPECT_EQ(out.rfind("Shader(Custom Shader) compile info:\n", 0), 0u) << out;
        EXPECT_TRUE(effect.linkOk) << out;
    }
}

TEST_F(Effects, MissingShaderFilesGiveTheirLogAndANoProgramEffect) {
    ShaderCache cache;
    std::string log = CaptureStdout([&] { cache.Add("Broken", nullptr, "Resources/No.frag"); });
    EXPECT_NE(log.find("Resources/No.frag could not be opened"), std::string::npos) << log;
    EXPECT_NE(log.find("Shader(Resources/No.frag) compile info:\n"), std::string::npos) << log;
    Effect* broken = cache.Find("Broken");
    EXPECT_FALSE(broken->linkOk);
    EXPECT_EQ(EffectAddParameter(broken, "texture")->location, -1);
    // Applying it leaves no program current; a draw through it is harmless.
    EffectApply(cache.Find("Grey"));
    DrawQuad(broken, {0, 0, 64, 64});
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    // Without the base shader files every effect is such an effect.
    EffectReleaseBase();
    TestSupport::TempDir empty;
    std::filesystem::current_path(empty.Path());
    log = CaptureStdout([] {
        Effect effect;
        EffectLink(&effect);
        EXPECT_FALSE(effect.linkOk);
        EffectApply(&effect);
    });
    std::filesystem::current_path(TAZZLE_SOURCE_DIR);
    EXPECT_NE(log.find("base_vertex.vert could not be opened"), std::string::npos) << log;
    EXPECT_NE(log.find("Shader(Basic Vertex Shader) compile info\n"), std::string::npos);
}

TEST_F(Effects, ParametersReachTheirUniforms) {
    Effect effect;
    Build(effect, "uniform mat4 place; void main(void) { gl_Position = place * gl_Vertex; }",
          "uniform float red; uniform bool flag; uniform int useArray;\n"
          "uniform float values[16];\n"
          "void main(void) {\n"
          "  if (useArray == 1) gl_FragColor = vec4(values[0], values[1], values[15], 1.0);\n"
          "  else gl_FragColor = vec4(red, flag ? 1.0 : 0.0, 0.0, 1.0);\n"
          "}\n");
    ASSERT_TRUE(effect.linkOk);
    // The matrix shrinks the full-screen quad to the middle half.
    glm::mat4 half = glm::scale(glm::mat4(1.0f), glm::vec3(0.5f, 0.5f, 1.0f));
    EffectAddParameter(&effect, "place")->SetMatrix(glm::value_ptr(half));
    EffectAddParameter(&effect, "red")->SetFloat(1.0f);
    EffectAddParameter(&effect, "flag")->SetBool(true);
    EffectAddParameter(&effect, "useArray")->SetInt(0);
    EffectApply(&effect);
    FullScreenQuad();
    EXPECT_EQ(Pixel(32, 32), (Rgba{255, 255, 0, 255}));
    EXPECT_EQ(Pixel(4, 4), (Rgba{0, 0, 0, 255}));

    // All 16 elements are uploaded; unset ones are 0.
    EffectParameter* values = EffectAddParameter(&effect, "values");
    values->SetArrayElement(1, 1.0f);
    values->SetArrayElement(15, 1.0f);
    EffectAddParameter(&effect, "useArray")->SetInt(1);
    EffectApply(&effect);
    FullScreenQuad();
    EXPECT_EQ(Pixel(32, 32), (Rgba{0, 255, 255, 255}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Effects, TexturesTakeUnitsFromOneAndMatrixAttributesFourLocations) {
    Effect effect;
    Build(effect,
          "attribute vec3 coord3d; attribute mat4 place;\n"
          "void main(void) { gl_Position = place * vec4(coord3d, 1.0); }",
          "uniform sampler2D first; uniform sampler2D middle; uniform sampler2D last;\n"
          "void main(void) { gl_FragColor = texture2D(first, vec2(0.0)) +\n"
          "  texture2D(middle, vec2(0.0)) + texture2D(last, vec2(0.0)); }");
    ASSERT_TRUE(effect.linkOk);
    GLuint a = SolidTexture(255, 0, 0), b = SolidTexture(0, 0, 255), bufferTexture = 0, vbo = 0;
    glGenTextures(1, &bufferTexture);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, 1024, nullptr, GL_STREAM_DRAW);
    EffectAddParameter(&effect, "first")->SetTexture(a);
    EffectAddParameter(&effect, "middle")->SetTextureBuffer(bufferTexture, vbo);
    EffectAddParameter(&effect, "last")->SetTexture(b);
    EffectParameter* place = EffectAddParameter(&effect, "place");
    place->SetAttribute(4, GL_FLOAT, false, 76, 12, true);
    EffectApply(&effect);

    int unit = 1;
    for (const EffectParameter& p : effect.parameters) {
        if (p.kind == EffectParameter::VertexAttribute) continue;
        GLint value = -1;
        glGetUniformiv(effect.program, p.location, &value);
        EXPECT_EQ(value, unit++) << p.name;
    }
    GLint bound = 0;
    glActiveTexture(GL_TEXTURE3);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), b);
    glActiveTexture(GL_TEXTURE0);
    EffectApply(&effect);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &bound);
    EXPECT_EQ(bound, GL_TEXTURE0);  // unit 0 is active again after an apply

    for (int c = 0; c < 4; ++c) {
        GLint enabled = 0;
        void* start = nullptr;
        glGetVertexAttribiv(GLuint(place->location + c), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        glGetVertexAttribPointerv(GLuint(place->location + c), GL_VERTEX_ATTRIB_ARRAY_POINTER,
                                  &start);
        EXPECT_EQ(enabled, 1);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(start), uintptr_t(12 + 16 * c));
    }
    EffectDisableAttributes(&effect);  // every column, not just the first
    for (int c = 0; c < 4; ++c) {
        GLint enabled = 1;
        glGetVertexAttribiv(GLuint(place->location + c), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        EXPECT_EQ(enabled, 0) << c;
    }
    GLuint textures[3] = {a, b, bufferTexture};
    glDeleteTextures(3, textures);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &vbo);
}

TEST_F(Effects, BaseStagesPlaceTurnAndColourVertices) {
    Effect colour;
    Build(colour, nullptr, kColourSource);
    DrawQuad(&colour, {0, 0, 32, 64, {255, 0, 0, 255}});  // left half
    EXPECT_EQ(Pixel(8, 32), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(56, 32), (Rgba{0, 0, 0, 255}));
    // A quad given about its pivot: half a turn, placed at the window's
    // centre, puts the left half of the pivot's square on the right half.
    glClear(GL_COLOR_BUFFER_BIT);
    DrawQuad(&colour, {-32, -32, 0, 32, {0, 255, 0, 255}, 0, 3.14159265f, 32, 32});
    EXPECT_EQ(Pixel(8, 32), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(Pixel(56, 32), (Rgba{0, 255, 0, 255}));

    // Textured with alpha 0 (no colour fill): the image's own colours;
    // with colour fill, the image tinted by the colour.
    Effect textured;
    EffectLink(&textured);
    GLuint white = SolidTexture(255, 255, 255);
    DrawQuad(&textured, {0, 0, 64, 64, {255, 0, 0, 0}, white});
    EXPECT_EQ(Pixel(32, 32), (Rgba{255, 255, 255, 255}));
    DrawQuad(&textured, {0, 0, 64, 64, {0, 0, 255, 255}, white});
    EXPECT_EQ(Pixel(32, 32), (Rgba{0, 0, 255, 255}));
    glDeleteTextures(1, &white);
}

TEST_F(Effects, GreyPassAndLevelProgramsShadeImages) {
    PostProcess* pass = nullptr;
    CaptureStdout([&] { pass = AddPostProcess("", "Resources/Shaders/grey.frag"); });
    ASSERT_TRUE(pass && pass->effect.linkOk);
    // Red into the pass, then the pass through its effect into the window.
    BindRenderTarget(pass);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    BindRenderTarget(nullptr);
    DrawQuad(&pass->effect, {0, 0, 64, 64, {255, 255, 255, 0}, pass->texture});
    Rgba grey = Pixel(32, 32);
    EXPECT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]) << grey[0] << grey[1] << grey[2];
    EXPECT_NEAR(grey[0], 76, 3);  // the luminance of red

    // One tile covering the window, fed as the tile layer feeds it.
    ShaderCache cache;
    CaptureStdout([&] { AddStartupShaders(cache); });
    GLuint red = SolidTexture(255, 0, 0), vbo = 0;
    float tile[16] = {0, 0, 0, 0, 64, 0, 1, 0, 0, 64, 0, 1, 64, 64, 1, 1};
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof tile, tile, GL_STATIC_DRAW);
    glm::mat4 proj = glm::ortho(0.0f, 64.0f, 0.0f, 64.0f, -100.0f, 100.0f), view(1.0f);
    for (const char* name : {"BaseLevel", "GreyLevel"}) {
        Effect* level = cache.Find(name);
        EffectAddParameter(level, "vertex")->SetAttribute(2, GL_FLOAT, false, 16, 0);
        EffectAddParameter(level, "tex")->SetAttribute(2, GL_FLOAT, false, 16, 8);
        EffectAddParameter(level, "texture")->SetTexture(red);
        EffectAddParameter(level, "proj")->SetMatrix(glm::value_ptr(proj));
        EffectAddParameter(level, "view")->SetMatrix(glm::value_ptr(view));
        EffectApply(level);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        EffectDisableAttributes(level);
        glFinish();
        EXPECT_EQ(Pixel(32, 32), (name[0] == 'B' ? Rgba{255, 0, 0, 255} : grey)) << name;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &vbo);
    glDeleteTextures(1, &red);
}

}  // namespace
