#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

// Small reflected classes of the tests' own.
class BindPoint;
class BindCamera;
class BindOther;
class BindGrand;
class BindParent;
class BindChild;
class BindComponent;
TAZZLE_CLASS_NAME(BindPoint, "class BindPoint");
TAZZLE_CLASS_NAME(BindCamera, "class BindCamera");
TAZZLE_CLASS_NAME(BindOther, "class BindOther");
TAZZLE_CLASS_NAME(BindGrand, "class BindGrand");
TAZZLE_CLASS_NAME(BindParent, "class BindParent");
TAZZLE_CLASS_NAME(BindChild, "class BindChild");
TAZZLE_CLASS_NAME(BindComponent, "class BindComponent");

using System::GetArgument;
using System::MetaArgs;

namespace {

// What the last method call received, one text per argument.
std::vector<std::string> g_received;
int g_liveCameras = 0;

// Objects that "new" makes belong to nobody; the fixture deletes the ones a
// test leaves behind.
std::set<System::MetaBase*> g_alive;
struct Tracked {
    Tracked(System::MetaBase* o, bool track = true) : object(track ? o : nullptr) {
        if (object) g_alive.insert(object);
    }
    ~Tracked() { g_alive.erase(object); }
    System::MetaBase* object;
};

std::string Describe(const MetaValue& v) {
    if (v.IsType<double>()) return "double " + std::to_string(v.ToDouble());
    if (v.IsType<int>()) return "int " + std::to_string(v.ToInt());
    if (v.IsType<const char*>()) return std::string("text ") + v.ToString();
    if (v.IsType<void*>()) return v.ToObjectBase() ? "object" : "pointer";
    return v.typeName ? v.typeName : "none";
}

}  // namespace

class BindPoint : public System::MetaData<BindPoint> {
public:
    explicit BindPoint(bool track = true) : tracked(this, track) {
        AddProperty("x", MetaValue(&x));
        AddProperty("y", MetaValue(&y));
    }
    Tracked tracked;
    float x = 0, y = 0;
};

class BindCamera : public System::MetaData<BindCamera> {
public:
    BindCamera() : tracked(this) {
        ++g_liveCameras;
        AddProperty("width", MetaValue(&width));
        AddProperty("count", MetaValue(&count));
        AddProperty("enabled", MetaValue(&enabled));
        AddProperty("letter", MetaValue(&letter));
        AddProperty("position", MetaValue(&position));
        AddProperty("ratio", MetaValue(&ratio));
        std::memset(guard, 0xAB, sizeof guard);
    }
    ~BindCamera() override { --g_liveCameras; }

    static void RegisterMethods() {
        AddMethod("Lock", System::Method<BindCamera, &Lock>);
        AddMethod("IsLocked", System::Method<BindCamera, &IsLocked>);
        AddMethod("GetWidth", System::Method<BindCamera, &GetWidth>);
        AddMethod("SetShake", System::Method<BindCamera, &Record>);
        AddMethod("Echo", System::Method<BindCamera, &Echo>);
        AddMethod("GetPosition", System::Method<BindCamera, &GetPosition>);
    }

    Tracked tracked;
    float width = 800;
    int count = 0;
    bool enabled = false;
    unsigned char guard[7];
    char letter = 0;
    double ratio = 0.5;
    BindPoint position{false};
    bool locked = false;

private:
    static MetaValue Lock(BindCamera& self, MetaArgs&) {
        self.locked = true;
        return MetaValue::None();
    }
    static MetaValue IsLocked(BindCamera& self, MetaArgs&) { return MetaValue(self.locked); }
    static MetaValue GetWidth(BindCamera& self, MetaArgs&) { return MetaValue(self.width); }
    static MetaValue Record(BindCamera&, MetaArgs& args) {
        g_received.clear();
        for (const MetaValue& v : args) g_received.push_back(Describe(v));
        return MetaValue::None();
    }
    static MetaValue Echo(BindCamera&, MetaArgs& args) { return GetArgument(args, 0); }
    static MetaValue GetPosition(BindCamera& self, MetaArgs&) { return MetaValue(&self.position); }
};

class BindOther : public System::MetaData<BindOther> {
public:
    Tracked tracked{this};
    static void RegisterMethods() {}
};

// A three-level chain: each level defines "Who"; the grandparent also "Old".
class BindGrand : public System::MetaData<BindGrand> {
public:
    Tracked tracked{this};
    static void RegisterMethods() {
        AddMethod("Who", &Who<1>);
        AddMethod("Old", &Who<10>);
    }
    template <int N>
    static MetaValue Who(System::MetaBase*, MetaArgs&) {
        return MetaValue(N);
    }
};
class BindParent : public BindGrand {
public:
    const char* GetTypeName() const override { return System::TypeName<BindParent>::name; }
    static void RegisterMethods() {
        System::MetaData<BindParent>::SetParent<BindGrand>();
        System::MetaData<BindParent>::AddMethod("Who", &Who<2>);
    }
};
class BindChild : public BindParent {
public:
    const char* GetTypeName() const override { return System::TypeName<BindChild>::name; }
    static void RegisterMethods() {
        System::MetaData<BindChild>::SetParent<BindParent>();
        System::MetaData<BindChild>::AddMethod("Who", &Who<3>);
    }
};

class BindComponent : public System::MetaData<BindComponent> {
public:
    BindComponent() { AddProperty("x", MetaValue(&x)); }
    Tracked tracked{this};
    float x = 0;
};

class LuaBinding : public LuaFixture {
protected:
    void SetUp() override {
        LuaFixture::SetUp();
        BindCamera::RegisterMethods();
        BindChild::RegisterMethods();
        System::RegisterClassTable<BindPoint>("BindPoint", System::LuaNewDefault<BindPoint>);
        System::RegisterClassTable<BindCamera>("BindCamera", System::LuaNewDefault<BindCamera>);
        System::RegisterClassTable<BindOther>("BindOther", System::LuaNewDefault<BindOther>);
        System::RegisterClassTable<BindGrand>("BindGrand", System::LuaNewDefault<BindGrand>);
        System::RegisterClassTable<BindParent>("BindParent", System::LuaNewDefault<BindParent>);
        System::RegisterClassTable<BindChild>("BindChild", System::LuaNewDefault<BindChild>);
        System::RegisterClassTable<BindComponent>(
            "BindComponent", System::LuaNewDefault<BindComponent>, System::LuaNewIndexComponent);
        camera = new BindCamera;
        PushUserdata(L, camera);
        lua_setglobal(L, "cam");
        g_received.clear();
    }
    void TearDown() override {
        LuaFixture::TearDown();
        while (!g_alive.empty()) delete *g_alive.begin();
    }

    BindCamera* camera = nullptr;
};

TEST_F(LuaBinding, ClassTableShapeAndNew) {
    EXPECT_EQ(Error("BindCamera.new()"), "Got 0 arguments, expected 1 (class)");
    EXPECT_EQ(Error("BindCamera.new(BindCamera, 1)"), "Got 2 arguments, expected 1 (class)");
    EXPECT_NE(Run("BindCamera.new(5)"), "");
    EXPECT_EQ(g_liveCameras, 1);

    EXPECT_TRUE(True("getmetatable(BindCamera:new()) == BindCamera"));
    EXPECT_TRUE(True("BindCamera.className == 'class BindCamera'"));
    EXPECT_TRUE(True("debug.getregistry()['class BindCamera'] == BindCamera"));
    EXPECT_TRUE(True("getmetatable(cam).className == 'class BindCamera'"));
    // Methods are reached through objects only.
    EXPECT_TRUE(True("BindCamera.Lock == nil"));
    EXPECT_TRUE(True("type(cam.Lock) == 'function'"));
    // The "__Meta" table is kept in the registry with the property reader.
    EXPECT_TRUE(True("type(debug.getregistry()['class BindCamera__Meta'].__index) == 'function'"));
    // Stack balanced by registration.
    EXPECT_EQ(lua_gettop(L), 0);
    lua_gc(L, LUA_GCCOLLECT, 0);  // objects made by "new" belong to nobody
    EXPECT_EQ(g_liveCameras, 2);
}

TEST_F(LuaBinding, RegisteringTwiceSharesOneTable) {
    ASSERT_EQ(Run("saved = BindCamera"), "");
    System::RegisterClassTable<BindCamera>("BindCamera", System::LuaNewDefault<BindCamera>);
    EXPECT_TRUE(True("saved == BindCamera and getmetatable(cam) == saved"));
    EXPECT_TRUE(True("cam:IsLocked() == 0"));
}

TEST_F(LuaBinding, MethodArgumentsAndResults) {
    std::string out = Output("cam:SetShake(nil, 3)");
    EXPECT_EQ(out, "dumpStack Err, type failed: nil 0\n");
    EXPECT_EQ(g_received, (std::vector<std::string>{"double 3.000000"}));

    out = Output("cam:SetShake(true, false, 'txt', cam, io.stdout, {}, print)");
    EXPECT_EQ(out, "dumpStack Err, type failed: table 5\ndumpStack Err, type failed: function 6\n");
    EXPECT_EQ(g_received,
              (std::vector<std::string>{"int 1", "int 0", "text txt", "object", "pointer"}));

    // No result: the last argument, or the object itself, comes back.
    EXPECT_TRUE(True("cam:Lock() == cam"));
    EXPECT_TRUE(camera->locked);
    EXPECT_TRUE(True("cam:SetShake(1, 'last') == 'last'"));
    // Truth values arrive as numbers.
    EXPECT_TRUE(True("cam:IsLocked() == 1 and type(cam:IsLocked()) == 'number'"));
    EXPECT_TRUE(True("cam:GetWidth() == 800"));
    // A missing argument reads as the empty text.
    EXPECT_TRUE(True("cam:Echo() == ''"));
    EXPECT_TRUE(True("cam:Echo(2.5) == 2.5"));
    // A returned object arrives with its class table.
    EXPECT_TRUE(True("cam:GetPosition().x == 0 and getmetatable(cam:GetPosition()) == BindPoint"));
    // A light userdata goes back as itself and is never read through.
    lua_pushlightuserdata(L, reinterpret_cast<void*>(0x10));
    lua_setglobal(L, "light");
    EXPECT_TRUE(True("cam:Echo(light) == light"));
}

TEST_F(LuaBinding, MethodsNeedAnObjectOfTheirClass) {
    EXPECT_EQ(Error("cam.Lock()"), "method called without an object");
    EXPECT_EQ(Error("cam.Lock(5)"), "method called without an object");
    EXPECT_EQ(Error("cam.Lock(BindCamera)"), "method called without an object");
    EXPECT_NE(Run("cam.Lock(BindOther:new())").find("another class"), std::string::npos);
    EXPECT_FALSE(camera->locked);
    // A userdata the engine did not make is no object, whatever its size
    // and metatable: a file handle is a pointer-sized userdata; the last
    // has a block's size and the camera's block's bytes, all but its mark.
    lua_getglobal(L, "cam");
    const auto* real = static_cast<const System::ObjectBlock*>(lua_touserdata(L, -1));
    auto* copy = static_cast<System::ObjectBlock*>(lua_newuserdata(L, sizeof(*real)));
    *copy = *real;
    copy->mark = ~real->mark;
    lua_setglobal(L, "sameBytes");
    lua_pop(L, 1);
    for (const char* forged : {"newproxy(false)", "io.stdout", "sameBytes"}) {
        EXPECT_EQ(Error(std::string("local u = ") + forged +
                        " debug.setmetatable(u, getmetatable(cam)) u:Lock()"),
                  "method called on an object of another class (not an engine object)")
            << forged;
        EXPECT_EQ(Run(std::string("local u = ") + forged +
                      " debug.setmetatable(u, getmetatable(cam)) assert(u.width == nil)"),
                  "");
        EXPECT_NE(Run(std::string("local u = ") + forged +
                      " debug.setmetatable(u, getmetatable(cam)) u.width = 3"),
                  "");
    }
    EXPECT_FALSE(camera->locked);
}

TEST_F(LuaBinding, ObjectsOfTheClosuresOwnClassGetTheFullTestsAnswers) {
    // A table that borrows the class table is no object.
    EXPECT_EQ(Error("local t = setmetatable({}, BindCamera) t:Lock()"),
              "method called without an object");
    // So is a light userdata that all light userdata's metatable makes
    // look like one of the class.
    lua_pushlightuserdata(L, reinterpret_cast<void*>(0x30));
    lua_setglobal(L, "light");
    EXPECT_EQ(Error("debug.setmetatable(light, BindCamera) cam.Lock(light)"),
              "method called without an object");
    EXPECT_EQ(Error("local w = light.width"), "");
    ASSERT_EQ(Run("debug.setmetatable(light, nil)"), "");
    // The reader called by hand: extra arguments change nothing, a missing
    // key reads as no value.
    EXPECT_TRUE(True("getmetatable(cam).__index(cam, 'width', 'extra', 3) == 800"));
    EXPECT_TRUE(True("getmetatable(cam).__index(cam, 'Lock', 1) == cam.Lock"));
    EXPECT_TRUE(True("select('#', getmetatable(cam).__index(cam)) == 0"));
    EXPECT_TRUE(True("getmetatable(cam).__index(cam) == nil"));
    // Objects are known by the block the engine made, not by their class
    // table: a script that renames the table changes nothing for them.
    EXPECT_TRUE(True("(function() BindCamera.className = 'class Renamed' return cam.width end)() == 800"));
    EXPECT_EQ(Run("BindCamera.className = 5 cam.width = 1"), "");
    ASSERT_EQ(Run("BindCamera.className = 'class BindCamera'"), "");
    EXPECT_FALSE(camera->locked);
    EXPECT_EQ(camera->width, 1.0f);
    // Back under its own name, and with more arguments than fit inline.
    EXPECT_TRUE(True("cam:Lock() == cam"));
    EXPECT_TRUE(camera->locked);
    ASSERT_EQ(Run("cam:SetShake(1, 2, 3, 4, 5, 6, 7, 8, 9, 'ten', true, cam)"), "");
    ASSERT_EQ(g_received.size(), 12u);
    EXPECT_EQ(g_received[8], "double 9.000000");
    EXPECT_EQ(g_received[9], "text ten");
    EXPECT_EQ(g_received[11], "object");
    ASSERT_EQ(Run("cam.width = 2.5"), "");
    EXPECT_TRUE(True("cam.width == 2.5"));
}

TEST_F(LuaBinding, InheritedMethodsNearestDefinitionWins) {
    EXPECT_TRUE(True("BindGrand:new():Who() == 1 and BindParent:new():Who() == 2"));
    EXPECT_TRUE(True("BindChild:new():Who() == 3 and BindChild:new():Old() == 10"));
    // The parent's own table holds no method of its child.
    lua_getfield(L, LUA_REGISTRYINDEX, "class BindParent");
    lua_getfield(L, -1, "__index");
    const char* upvalue = lua_getupvalue(L, -1, 1);
    ASSERT_NE(upvalue, nullptr);
    int names = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        ++names;
        lua_pop(L, 1);
    }
    EXPECT_EQ(names, 2);  // Old, Who
    lua_settop(L, 0);
}

TEST_F(LuaBinding, PropertyReads) {
    EXPECT_TRUE(True("cam.width == 800 and cam.count == 0 and cam.ratio == 0.5"));
    EXPECT_TRUE(True("cam.enabled == 0"));
    EXPECT_EQ(Error("local v = cam.nosuch"), "Object does not have property \"nosuch\"!");
    // Keys that are not names read as nil; numbers read by their text.
    EXPECT_TRUE(True("cam[true] == nil and cam[cam] == nil"));
    EXPECT_EQ(Error("local v = cam[7]"), "Object does not have property \"7\"!");
    // A field typed as an object reads as that object.
    EXPECT_TRUE(True("cam.position.x == 0"));
    camera->position.x = 4.5f;
    EXPECT_TRUE(True("cam.position.x == 4.5"));
}

TEST_F(LuaBinding, NumberAndFlagWritesStayInTheirField) {
    ASSERT_EQ(Run("cam.width = 3.7"), "");
    EXPECT_FLOAT_EQ(camera->width, 3.7f);
    ASSERT_EQ(Run("cam.count = 3.7"), "");
    EXPECT_EQ(camera->count, 3);
    ASSERT_EQ(Run("cam.count = -3.7"), "");
    EXPECT_EQ(camera->count, -3);
    ASSERT_EQ(Run("cam.count = 1e300"), "");  // saturates, no undefined conversion
    EXPECT_EQ(camera->count, 2147483647);
    ASSERT_EQ(Run("cam.count = true"), "");
    EXPECT_EQ(camera->count, 1);
    ASSERT_EQ(Run("cam.ratio = 0.25"), "");
    EXPECT_EQ(camera->ratio, 0.25);

    ASSERT_EQ(Run("cam.enabled = 12345.5"), "");
    EXPECT_TRUE(camera->enabled);
    for (unsigned char byte : camera->guard) EXPECT_EQ(byte, 0xAB);
    ASSERT_EQ(Run("cam.enabled = 0"), "");
    EXPECT_FALSE(camera->enabled);
    ASSERT_EQ(Run("cam.enabled = true"), "");
    EXPECT_TRUE(True("cam.enabled == 1"));

    ASSERT_EQ(Run("cam.letter = 300"), "");
    EXPECT_EQ(camera->letter, 44);
    ASSERT_EQ(Run("cam.letter = -1"), "");
    EXPECT_TRUE(True("cam.letter == -1"));
}

TEST_F(LuaBinding, MismatchedWritesAreRefused) {
    EXPECT_EQ(Output("cam.width = cam"), "dumpStack Err, type encountered: userdata\n");
    EXPECT_EQ(camera->width, 800);
    EXPECT_EQ(Output("cam.position = 5"), "dumpStack Err, type encountered: number\n");
    EXPECT_EQ(Output("cam.position = true"), "dumpStack Err, type encountered: boolean\n");
    EXPECT_EQ(Output("cam.count = {}"), "dumpStack Err, type encountered: table\n");
    EXPECT_EQ(Output("cam.count = nil"), "dumpStack Err, type encountered: nil\n");
    EXPECT_EQ(Output("cam.count = print"), "dumpStack Err, type encountered: function\n");
    EXPECT_EQ(camera->count, 0);
    EXPECT_TRUE(True("cam.position.x == 0"));
    // A userdata without a metatable is not stored.
    EXPECT_EQ(Output("cam.proxy = newproxy(false)"), "dumpStack Err, type encountered: userdata\n");
    EXPECT_FALSE(camera->HasProperty("proxy"));
    // Text is not stored.
    EXPECT_EQ(Output("cam.name = 'abc'"), "");
    EXPECT_FALSE(camera->HasProperty("name"));
    // Keys must be names.
    EXPECT_EQ(Error("cam[true] = 1"), "property names must be strings");
}

TEST_F(LuaBinding, NewPropertiesFromScripts) {
    EXPECT_EQ(Output("cam.x = {}"), "dumpStack Err, type encountered: table\n");
    EXPECT_FALSE(camera->HasProperty("x"));

    ASSERT_EQ(Run("cam.flag = true"), "");
    EXPECT_TRUE(camera->HasProperty("flag"));
    EXPECT_TRUE(True("cam.flag == 1"));
    ASSERT_EQ(Run("cam.flag = false"), "");
    EXPECT_TRUE(True("cam.flag == 0"));
    ASSERT_EQ(Run("cam.flag = 77"), "");  // a flag written with a number stays a flag
    EXPECT_TRUE(True("cam.flag == 1"));

    ASSERT_EQ(Run("cam.speed = 2.5 cam.speed = cam.speed * 2"), "");
    EXPECT_TRUE(True("cam.speed == 5"));

    // A method name may become a property, but the method still wins on reads.
    ASSERT_EQ(Run("cam.Lock = 5"), "");
    EXPECT_TRUE(camera->HasProperty("Lock"));
    EXPECT_TRUE(True("type(cam.Lock) == 'function'"));

    // A stored object keeps its class; writing again replaces it.
    ASSERT_EQ(Run("cam.friend = BindOther:new()"), "");
    EXPECT_TRUE(True("getmetatable(cam.friend) == BindOther"));
    ASSERT_EQ(Run("cam.friend = cam"), "");
    EXPECT_TRUE(True("getmetatable(cam.friend) == BindCamera and cam.friend.width == 800"));
    // A userdata that is not an engine object is kept as no object.
    ASSERT_EQ(Run("cam.file = io.stdout"), "");
    EXPECT_TRUE(True("type(cam.file) == 'userdata' and next(getmetatable(cam.file)) == nil"));

    // Light userdata are stored as values and handed back unchanged.
    lua_pushlightuserdata(L, reinterpret_cast<void*>(0x20));
    lua_setglobal(L, "light");
    ASSERT_EQ(Run("cam.handle = light"), "");
    EXPECT_TRUE(True("cam.handle == light"));
    EXPECT_EQ(Output("cam.handle = light"), "dumpStack Err, type encountered: userdata\n");
}

TEST_F(LuaBinding, StoredThreadLivesAsLongAsTheObject) {
    std::string out = Output("co = coroutine.create(function() end) cam.co = co");
    EXPECT_EQ(out,
              "--- LUA TOP ---\ndumpStack Err, type encountered: thread\nco\n"
              "dumpStack Err, type encountered: userdata\n--- END ---\n\n");
    ASSERT_EQ(Run("weak = setmetatable({}, {__mode = 'v'}) weak[1] = co co = nil"), "");
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_TRUE(True("type(weak[1]) == 'thread' and cam.co == weak[1]"));

    // Writing a thread again keeps the first one.
    Output("cam.co = coroutine.create(function() end)");
    EXPECT_TRUE(True("cam.co == weak[1]"));

    delete camera;
    camera = nullptr;
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_TRUE(True("weak[1] == nil"));
}

// A script can clear or refill the registry slot that anchors a stored
// thread: the property then reads nil, never the freed thread, and the
// object's death leaves the slot's new value alone.
TEST_F(LuaBinding, StoredThreadWhoseAnchorAScriptReplaced) {
    for (std::string replacement : {"nil", "5", "other"}) {
        SCOPED_TRACE(replacement);
        auto* holder = new BindCamera;
        PushUserdata(L, holder);
        lua_setglobal(L, "holder");
        Output("local f = function() end co, other = coroutine.create(f), coroutine.create(f)\n"
               "holder.co = co\n"
               "for k, v in pairs(debug.getregistry()) do if v == co then slot = k end end\n"
               "debug.getregistry()[slot] = " + replacement + " co = nil");
        lua_gc(L, LUA_GCCOLLECT, 0);
        EXPECT_TRUE(True("holder.co == nil"));
        delete holder;
        EXPECT_TRUE(True("debug.getregistry()[slot] == " + replacement));
    }
}

TEST_F(LuaBinding, NullObjects) {
    // A userdata without an object has an empty metatable.
    PushUserdata(L, nullptr);
    lua_setglobal(L, "none");
    EXPECT_TRUE(True("type(none) == 'userdata' and next(getmetatable(none)) == nil"));
    EXPECT_EQ(System::ToEngineObject(L, 1), nullptr);
    // Reading through the reader directly gives nil, writing an error.
    lua_pushcfunction(L, System::LuaIndex);
    lua_setglobal(L, "reader");
    EXPECT_TRUE(True("reader(none, 'x') == nil and reader({}, 'x') == nil"));
    EXPECT_NE(Run("BindCamera.__newindex(none, 'x', 1)"), "");
    EXPECT_NE(Run("BindComponent.__newindex({}, 'x', 1)"), "");
    // The component writer works as the generic one on real objects.
    ASSERT_EQ(Run("c = BindComponent:new() c.x = 2 c.y = true"), "");
    EXPECT_TRUE(True("c.x == 2 and c.y == 1"));
}

TEST_F(LuaBinding, ComponentWriteOnAMissingObjectIsAFailedCheck) {
    // Only a script that swaps metatables can get here: engine pushes never
    // give a null object a class table.
    System::PushObjectBlock(L, nullptr);
    lua_getfield(L, LUA_REGISTRYINDEX, "class BindComponent");
    lua_setmetatable(L, -2);
    lua_setglobal(L, "forged");
    EXPECT_TRUE(True("forged.x == nil"));
    EXPECT_EQ(Output("forged.x = 'text' forged.x = {}"),
              "dumpStack Err, type encountered: table\n");
    EXPECT_DEATH(Run("forged.x = 1"), "Uninitialized value used for object!");
}

TEST_F(LuaBinding, ObjectsThatLuaOwns) {
    // A userdata whose block says Lua owns it is freed through LuaGc.
    auto* point = new BindPoint;
    point->x = 7;
    System::PushObjectBlock(L, point, true);
    lua_newtable(L);
    lua_pushcfunction(L, System::LuaIndex);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, System::LuaGc);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_setglobal(L, "owned");
    EXPECT_TRUE(True("owned.x == 7"));
    EXPECT_EQ(Output("cam:SetShake(owned)"), "");
    EXPECT_EQ(g_received, (std::vector<std::string>{"object"}));
    // Calling the collector function on anything else frees nothing.
    EXPECT_EQ(Run("getmetatable(owned).__gc(cam) getmetatable(owned).__gc(io.stdout)"), "");
    EXPECT_EQ(g_liveCameras, 1);
    ASSERT_EQ(Run("owned = nil"), "");
    lua_gc(L, LUA_GCCOLLECT, 0);  // ASan reports a leak if the point is not freed
}

TEST_F(LuaBinding, PushValuesByType) {
    struct Case {
        MetaValue value;
        const char* check;
    };
    static int number = -5;
    static float single = 1.5f;
    static char letter = -2;
    static bool flag = true;
    static double real = 0.125;
    const Case results[] = {
        {MetaValue(7), "v == 7"},
        {MetaValue(2.5f), "v == 2.5"},
        {MetaValue(true), "v == 1"},
        {MetaValue(false), "v == 0"},
        {MetaValue("text"), "v == 'text'"},
        {System::NilValue(), "v == ''"},
        {MetaValue::Pointer(nullptr, "char const *", "char"), "v == nil"},
        {MetaValue(static_cast<BindCamera*>(nullptr)), "next(getmetatable(v)) == nil"},
    };
    for (const Case& c : results) {
        PushLuaValue(L, c.value);
        lua_setglobal(L, "v");
        EXPECT_TRUE(True(c.check)) << c.check;
    }
    const Case references[] = {
        {MetaValue(&number), "v == -5"},
        {MetaValue(&single), "v == 1.5"},
        {MetaValue(&letter), "v == -2"},
        {MetaValue(&flag), "v == 1"},
        {MetaValue(&real), "v == 0.125"},
        {MetaValue(3.0), "v == 3"},
        {MetaValue(static_cast<int*>(nullptr)), "v == nil"},
        {MetaValue(camera), "getmetatable(v) == BindCamera and v.width == 800"},
    };
    for (const Case& c : references) {
        PushLuaValues(L, c.value);
        lua_setglobal(L, "v");
        EXPECT_TRUE(True(c.check)) << c.check;
    }
    EXPECT_EQ(lua_gettop(L), 0);
}
