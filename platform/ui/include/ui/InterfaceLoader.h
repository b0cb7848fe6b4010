// Loads an interface description: a property list (XML or binary) that lists views by class
// name with their frames, parents and outlet names.
//
//   <dict>
//     <key>views</key>
//     <array>
//       <dict>
//         <key>id</key><string>main</string>           unique within the file
//         <key>class</key><string>HF_Zentrova_Main_View</string>
//         <key>frame</key><array><real>0</real><real>0</real><real>600</real><real>400</real></array>
//         <key>outlet</key><string>view</string>       optional: the owner's field to connect
//       </dict>
//       <dict>
//         <key>id</key><string>knob</string>
//         <key>class</key><string>HF_Zentrova_Big_Knob_View</string>
//         <key>parent</key><string>main</string>       optional: absent means top level
//         <key>frame</key>...                            in the parent's coordinates (y up)
//         <key>outlet</key><string>big_knob</string>
//         <key>properties</key><dict>...</dict>         optional, handed to the view (below)
//       </dict>
//     </array>
//   </dict>
//
// Parents come before their children. Loading creates every view through the class registry,
// runs initWithFrame on each (in file order), adds it to its parent, connects the outlets, and
// then runs awakeFromNib on all of them (in file order). Any error leaves nothing behind: no
// outlet is written and every created view is destroyed.
#pragma once

#include "ui/View.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// A connection from an outlet name to the owner's field. Views are owned by the view tree (the
// top-level views by the caller); the field only points.
struct Outlet {
    std::string name;
    std::function<void(View *)> connect;
    // Whether a view fits the field; checked for every outlet before any is connected.
    std::function<bool(View *)> accepts;
};

// For a field `T* field`: the view must be a T (or derive from it), else loading fails.
template <class T> Outlet bind_outlet(std::string name, T **field) {
    return {std::move(name), [field](View *v) { *field = dynamic_cast<T *>(v); },
            [](View *v) { return dynamic_cast<T *>(v) != nullptr; }};
}

// Optional per-view settings of a description ("properties" dict): a view that wants them
// derives from this as well as from View. Values arrive as text or numbers.
class DescribedProperties {
public:
    virtual ~DescribedProperties() = default;
    virtual void set_described_string(const std::string &key, const std::string &value) = 0;
    virtual void set_described_number(const std::string &key, double value) = 0;
};

struct InterfaceLoadResult {
    bool ok = false;
    std::string error;  // names the problem (file, entry index, class, outlet)
    std::vector<std::unique_ptr<View>> top_level_views;
};

InterfaceLoadResult load_interface_description(const std::string &path, const std::vector<Outlet> &outlets);
InterfaceLoadResult load_interface_description_from_data(const void *bytes, size_t size,
                                                         const std::vector<Outlet> &outlets);

}  // namespace ui
