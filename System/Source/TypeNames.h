// Run-time type names as data.
//
// The names are part of the engine's data: they key the Lua class tables and
// tell the kinds of reflected values apart, spelled as scripts and saved data
// expect them ("class Camera", "float *", "char const *"). Every type that
// takes part in reflection has an entry here; the primary template is left
// undefined, so using a type without an entry does not compile.
#pragma once

struct lua_State;

namespace System {
class GenericGameObject;
class GenericComponent;
class empty;
}  // namespace System

class Camera;
class Effect;
class EffectParameter;
class MetaPoint;
class Animation;
class Sprite;
class BatchRenderer;
class GuiPanel;
class GuiFans;
class GuiLabel;
class GuiButton;
class FastPanel;
class Menu;
class PhysicsBody;
class AnimationComponent;
class GraphicsComponent;
class LuaComponent;
class ParticleComponent;
class TextureComponent;
class Transform;
class Object;
class LuaObject;
class Level;
class GenericTileLevel;
struct empty;
struct Userdata;

namespace System {

template <class T>
struct TypeName;  // no entry: not a reflected type

// A pointer's name is its pointee's pointer spelling.
template <class T>
struct TypeName<T*> {
    static constexpr const char* name = TypeName<T>::pointer;
};

}  // namespace System

#define TAZZLE_TYPE_NAME(T, NAME, POINTER)              \
    template <>                                         \
    struct System::TypeName<T> {                        \
        static constexpr const char* name = NAME;       \
        static constexpr const char* pointer = POINTER; \
    }
#define TAZZLE_CLASS_NAME(T, NAME) TAZZLE_TYPE_NAME(T, NAME, NAME " *")

// Values.
TAZZLE_TYPE_NAME(double, "double", "double *");
TAZZLE_TYPE_NAME(float, "float", "float *");
TAZZLE_TYPE_NAME(int, "int", "int *");
TAZZLE_TYPE_NAME(bool, "bool", "bool *");
TAZZLE_TYPE_NAME(char, "char", "char *");
TAZZLE_TYPE_NAME(const char, "char", "char const *");
TAZZLE_TYPE_NAME(void, "void", "void *");
TAZZLE_CLASS_NAME(lua_State, "struct lua_State");
TAZZLE_CLASS_NAME(Userdata, "struct Userdata");

// Reflected classes.
TAZZLE_CLASS_NAME(Camera, "class Camera");
TAZZLE_CLASS_NAME(Effect, "class Effect");
TAZZLE_CLASS_NAME(EffectParameter, "class EffectParameter");
TAZZLE_CLASS_NAME(MetaPoint, "class MetaPoint");
TAZZLE_CLASS_NAME(Animation, "class Animation");
TAZZLE_CLASS_NAME(Sprite, "class Sprite");
TAZZLE_CLASS_NAME(BatchRenderer, "class BatchRenderer");
TAZZLE_CLASS_NAME(GuiPanel, "class GuiPanel");
TAZZLE_CLASS_NAME(GuiFans, "class GuiFans");
TAZZLE_CLASS_NAME(GuiLabel, "class GuiLabel");
TAZZLE_CLASS_NAME(GuiButton, "class GuiButton");
TAZZLE_CLASS_NAME(FastPanel, "class FastPanel");
TAZZLE_CLASS_NAME(Menu, "class Menu");
TAZZLE_CLASS_NAME(System::GenericComponent, "class System::GenericComponent");
TAZZLE_CLASS_NAME(PhysicsBody, "class PhysicsBody");
TAZZLE_CLASS_NAME(AnimationComponent, "class AnimationComponent");
TAZZLE_CLASS_NAME(GraphicsComponent, "class GraphicsComponent");
TAZZLE_CLASS_NAME(LuaComponent, "class LuaComponent");
TAZZLE_CLASS_NAME(ParticleComponent, "class ParticleComponent");
TAZZLE_CLASS_NAME(TextureComponent, "class TextureComponent");
TAZZLE_CLASS_NAME(Transform, "class Transform");
TAZZLE_CLASS_NAME(System::GenericGameObject, "class System::GenericGameObject");
TAZZLE_CLASS_NAME(Object, "class Object");
TAZZLE_CLASS_NAME(LuaObject, "class LuaObject");
TAZZLE_CLASS_NAME(empty, "struct empty");
TAZZLE_CLASS_NAME(System::empty, "class System::empty");
TAZZLE_CLASS_NAME(Level, "class Level");
TAZZLE_CLASS_NAME(GenericTileLevel, "class GenericTileLevel");
