// Interface descriptions come from files in the editor bundle: arbitrary bytes must load or give an
// error, never crash or leak; a load that succeeds connects only views it created, each to an
// outlet of its own class, and leaves every view in one tree under a top-level view.
#include "ui/ClassRegistry.h"
#include "ui/InterfaceLoader.h"
#include "ui/TextField.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

struct FuzzPanel : ui::View {};
struct FuzzKnob : ui::View {
    void awakeFromNib() override { check(window() == nullptr); }
};
UI_REGISTER_CLASS(FuzzPanel);
UI_REGISTER_CLASS(FuzzKnob);

void collect(ui::View* v, std::set<ui::View*>& all)
{
    check(all.insert(v).second); // no view twice, no cycle
    for (ui::View* s : v->subviews()) {
        check(s->superview() == v);
        collect(s, all);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzPanel* panel = nullptr;
    FuzzKnob* knob = nullptr;
    ui::TextField* field = nullptr;
    auto r = ui::load_interface_description_from_data(
        data, size,
        {ui::bind_outlet("panel", &panel), ui::bind_outlet("knob", &knob), ui::bind_outlet("field", &field)});
    check(r.ok == r.error.empty());
    if (!r.ok) {
        check(!panel && !knob && !field && r.top_level_views.empty());
        return 0;
    }
    std::set<ui::View*> all;
    for (auto& top : r.top_level_views) {
        check(top && top->superview() == nullptr);
        collect(top.get(), all);
    }
    for (ui::View* v : {static_cast<ui::View*>(panel), static_cast<ui::View*>(knob), static_cast<ui::View*>(field)})
        check(!v || all.count(v));
    if (field) field->double_value();
    return 0;
}
