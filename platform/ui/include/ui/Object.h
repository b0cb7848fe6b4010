// The common base of everything the class registry can create by name.
#pragma once

namespace ui {

class Object {
public:
    virtual ~Object() = default;
};

}  // namespace ui
