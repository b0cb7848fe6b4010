// Interface descriptions: views created by class name, parented, connected to outlets and woken.
#include "ui/ClassRegistry.h"
#include "ui/InterfaceLoader.h"
#include "ui/TextField.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace ui;

namespace {

int live_views = 0;
std::vector<std::string> lifecycle;

struct Owner;
Owner* current_owner = nullptr;

struct LoaderPanel : View {
    LoaderPanel() { ++live_views; }
    ~LoaderPanel() override { --live_views; }
    void initWithFrame(const Rect& f) override
    {
        View::initWithFrame(f);
        lifecycle.push_back("init " + std::to_string(int(f.width)));
    }
    void awakeFromNib() override;
};

struct LoaderKnob : LoaderPanel, DescribedProperties {
    std::string title;
    double size = 0;
    void set_described_string(const std::string& k, const std::string& v) override
    {
        if (k == "title") title = v;
    }
    void set_described_number(const std::string& k, double v) override
    {
        if (k == "size") size = v;
    }
};

struct Owner {
    LoaderPanel* main = nullptr;
    LoaderKnob* knob = nullptr;
    LoaderPanel* label = nullptr;
    std::vector<Outlet> outlets()
    {
        return {bind_outlet("main", &main), bind_outlet("knob", &knob), bind_outlet("label", &label)};
    }
};

void LoaderPanel::awakeFromNib()
{
    // Outlets are connected before anything wakes.
    lifecycle.push_back(std::string("awake ") + (current_owner && current_owner->knob ? "connected" : "unconnected"));
}

UI_REGISTER_CLASS(LoaderPanel);
UI_REGISTER_CLASS(LoaderKnob);

std::string entry(const std::string& body) { return "<dict>" + body + "</dict>"; }
std::string key(const char* k, const std::string& v) { return std::string("<key>") + k + "</key><string>" + v + "</string>"; }
std::string frame(double x, double y, double w, double h)
{
    auto r = [](double v) { return "<real>" + std::to_string(v) + "</real>"; };
    return "<key>frame</key><array>" + r(x) + r(y) + r(w) + r(h) + "</array>";
}
std::string plist(const std::string& views)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>views</key><array>" + views +
           "</array></dict></plist>";
}

const std::string main_view = entry(key("id", "main") + key("class", "LoaderPanel") + frame(0, 0, 400, 300) + key("outlet", "main"));
const std::string knob_view = entry(key("id", "knob") + key("class", "LoaderKnob") + key("parent", "main") +
                                    frame(10, 20, 120, 110) + key("outlet", "knob") +
                                    "<key>properties</key><dict>" + key("title", "Resonance") +
                                    "<key>size</key><real>2.5</real></dict>");
const std::string label_view = entry(key("class", "LoaderPanel") + key("parent", "knob") + frame(1, 2, 30, 10) + key("outlet", "label"));

InterfaceLoadResult load(const std::string& xml, Owner& owner)
{
    current_owner = &owner;
    lifecycle.clear();
    auto r = load_interface_description_from_data(xml.data(), xml.size(), owner.outlets());
    current_owner = nullptr;
    return r;
}

} // namespace

TEST(UiInterfaceLoader, CreatesParentsConnectsAndWakesInOrder)
{
    const std::string path = ::testing::TempDir() + "/ui_loader.plist";
    std::ofstream(path) << plist(main_view + knob_view + label_view);
    Owner owner;
    current_owner = &owner;
    lifecycle.clear();
    auto r = load_interface_description(path, owner.outlets());
    current_owner = nullptr;
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.top_level_views.size(), 1u);
    ASSERT_TRUE(owner.main && owner.knob && owner.label);
    EXPECT_EQ(r.top_level_views[0].get(), owner.main);
    EXPECT_EQ(owner.knob->superview(), owner.main);
    EXPECT_EQ(owner.label->superview(), owner.knob);
    EXPECT_EQ(owner.knob->frame(), (Rect{10, 20, 120, 110}));
    EXPECT_EQ(owner.label->convert_point_to_view({0, 0}, owner.main), (Point{11, 22}));
    EXPECT_EQ(owner.knob->title, "Resonance");
    EXPECT_EQ(owner.knob->size, 2.5);
    EXPECT_EQ(lifecycle, (std::vector<std::string>{"init 400", "init 120", "init 30", "awake connected",
                                                    "awake connected", "awake connected"}));
    r.top_level_views.clear();
    EXPECT_EQ(live_views, 0);
}

TEST(UiInterfaceLoader, FailuresNameTheProblemAndLeaveNothingBehind)
{
    const struct {
        const char* name;
        std::string xml;
        const char* error_mentions;
    } cases[] = {
        {"unknown class", plist(main_view + entry(key("class", "NoSuchView") + frame(0, 0, 1, 1))), "NoSuchView"},
        {"parent not yet defined", plist(label_view + main_view), "\"knob\""},
        {"bad frame", plist(entry(key("class", "LoaderPanel") + "<key>frame</key><array><real>1</real></array>")), "frame"},
        {"negative size", plist(entry(key("class", "LoaderPanel") + frame(0, 0, -5, 1))), "frame"},
        {"unknown outlet", plist(entry(key("class", "LoaderPanel") + frame(0, 0, 1, 1) + key("outlet", "nothing"))), "nothing"},
        {"outlet of the wrong class", plist(entry(key("class", "LoaderPanel") + frame(0, 0, 1, 1) + key("outlet", "knob"))), "knob"},
        {"repeated id", plist(main_view + main_view), "main"},
        {"no views array", "<plist version=\"1.0\"><dict/></plist>", "views"},
        {"not a property list", "{{{ not xml", "property list"},
        {"a non-view class", plist(entry(key("class", "ProbeFactory") + frame(0, 0, 1, 1))), "ProbeFactory"},
    };
    ClassRegistry::shared().register_class("ProbeFactory", [] { return std::make_unique<Object>(); });
    for (const auto& c : cases) {
        Owner owner;
        auto r = load(c.xml, owner);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.error.find(c.error_mentions), std::string::npos) << c.name << ": " << r.error;
        EXPECT_TRUE(!owner.main && !owner.knob && !owner.label) << c.name << ": no outlet written";
        EXPECT_TRUE(r.top_level_views.empty()) << c.name;
        EXPECT_EQ(live_views, 0) << c.name;
    }
    ClassRegistry::shared().unregister_class("ProbeFactory");

    Owner owner;
    auto missing = load_interface_description("/nonexistent/Main.plist", owner.outlets());
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("/nonexistent/Main.plist"), std::string::npos);
}

TEST(UiClassRegistry, FindsClassesByNameOnceEachAndReplacesOnReRegistration)
{
    auto& registry = ClassRegistry::shared();
    EXPECT_TRUE(registry.contains("NSView") && registry.contains("NSTextField") && registry.contains("LoaderKnob"));
    EXPECT_NE(dynamic_cast<LoaderKnob*>(registry.create_view("LoaderKnob").get()), nullptr);
    EXPECT_EQ(registry.create("NoSuchClass"), nullptr);
    int made = 0;
    registry.register_class("Twice", [&] { ++made; return std::make_unique<View>(); });
    registry.register_class("Twice", [&] { made += 10; return std::make_unique<View>(); });
    EXPECT_NE(registry.create_view("Twice"), nullptr);
    EXPECT_EQ(made, 10);
    const auto names = registry.class_names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Twice"), 1);
    registry.unregister_class("Twice");
    EXPECT_FALSE(registry.contains("Twice"));
}

TEST(UiInterfaceLoader, ATextFieldTakesItsFormatAndTextFromTheDescription)
{
    const std::string xml = plist(entry(key("class", "NSTextField") + frame(0, 0, 80, 20) + key("outlet", "field") +
                                        "<key>properties</key><dict>" + key("string", "0.5") + key("alignment", "center") +
                                        "<key>formatter_minimum</key><real>-80</real>"
                                        "<key>formatter_maximum</key><real>0</real>"
                                        "<key>fraction_digits</key><integer>2</integer></dict>"));
    TextField* field = nullptr;
    auto r = load_interface_description_from_data(xml.data(), xml.size(), {bind_outlet("field", &field)});
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(field && field->formatter());
    EXPECT_EQ(field->attributes.alignment, TextAlignment::center);
    EXPECT_EQ(field->double_value(), 0.0) << "\"0.5\" clamped to the maximum";
    field->set_float_value(-12.345f);
    EXPECT_EQ(field->string(), "-12.35");
}
