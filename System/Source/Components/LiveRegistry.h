// The objects of a family whose objects die while scripts still hold them
// (game objects, components, levels, points that Lua frees): the family's
// liveness test asks the registry, which never reads behind a pointer.
#pragma once

#include <unordered_set>

#include "System/Source/Components/Meta.h"

namespace System {

class LiveRegistry {
public:
    // From the constructor.
    void Join(const MetaBase* object) { live_.insert(object); }
    // From the destructor, first: the object counts as dead from here on.
    void Leave(const MetaBase* object) {
        live_.erase(object);
        MetaBase::NoteDeath();
    }
    bool Has(const MetaBase* object) const { return live_.count(object) != 0; }

    // The registry of one family (Family is its base class). On the
    // ordinary heap and never freed: it outlives every pool.
    template <class Family>
    static LiveRegistry& Of() {
        static auto* live = new LiveRegistry;
        return *live;
    }

private:
    std::unordered_set<const MetaBase*> live_;
};

}  // namespace System
