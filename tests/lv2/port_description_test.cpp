// The descriptions lilv reads, against what the component itself says about its parameters
// through the host API: every parameter port's name, range, default, unit and menu, and the
// plug-in's promises to hosts (hard real time, no latency, no more control inputs than its own, its channels in port groups).
#include "lv2/port_layout.h"

#include "host/cf_string.h"
#include "host/component.h"

#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/units/units.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct component_parameter {
    std::string name;
    AudioUnitParameterInfo info{};
    std::vector<std::string> menu;
};

std::vector<component_parameter> component_parameters() {
    const AudioComponent zentrova = host::find_component(kAudioUnitType_Effect, "Zentrova");
    AudioUnit unit = nullptr;
    if (zentrova == nullptr || AudioComponentInstanceNew(zentrova, &unit) != noErr) return {};
    std::vector<component_parameter> parameters(zentrova_lv2::k_parameter_count);
    for (AudioUnitParameterID id = 0; id < parameters.size(); ++id) {
        component_parameter &p = parameters[id];
        UInt32 size = sizeof p.info;
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &p.info, &size),
                  noErr);
        p.name = (p.info.flags & kAudioUnitParameterFlag_HasCFNameString) ? host::to_string(p.info.cfNameString) : p.info.name;
        if (p.info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(p.info.cfNameString);
        CFArrayRef strings = nullptr;
        size = sizeof strings;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, &strings,
                                 &size) == noErr && strings) {
            for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
                p.menu.push_back(host::to_string(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
            CFRelease(strings);
        }
    }
    AudioComponentInstanceDispose(unit);
    return parameters;
}

const char *unit_uri_of(AudioUnitParameterUnit unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Decibels: return LV2_UNITS__db;
    case kAudioUnitParameterUnit_Milliseconds: return LV2_UNITS__ms;
    case kAudioUnitParameterUnit_Generic:
    case kAudioUnitParameterUnit_LinearGain: return LV2_UNITS__coef;
    default: return nullptr;
    }
}

TEST(ZentrovaLv2Description, EveryParameterPortDescribesTheComponentsParameter) {
    const std::vector<component_parameter> parameters = component_parameters();
    ASSERT_EQ(parameters.size(), zentrova_lv2::k_parameter_count) << "the Zentrova component is not in the build";
    LilvWorld *world = lilv_world_new();
    const std::string path = std::string("file://") + ZENTROVA_TEST_BUILD_DIR + "/Zentrova.lv2/";
    LilvNode *bundle = lilv_new_uri(world, path.c_str());
    lilv_world_load_bundle(world, bundle);
    auto uri = [&](const char *text) { return lilv_new_uri(world, text); };
    LilvNode *integer = uri(LV2_CORE__integer), *enumeration = uri(LV2_CORE__enumeration),
             *unit_property = uri(LV2_UNITS__unit), *hard_rt = uri(LV2_CORE__hardRTCapable),
             *control = uri(LV2_CORE__ControlPort),
             *input = uri(LV2_CORE__InputPort), *logarithmic = uri(LV2_PORT_PROPS__logarithmic),
             *group = uri(LV2_PORT_GROUPS__group), *designation = uri(LV2_CORE__designation);
    int menus = 0, units = 0;
    for (unsigned channels : {1u, 2u}) {
        SCOPED_TRACE(channels == 1 ? "mono" : "stereo");
        LilvNode *plugin_uri = uri(channels == 1 ? zentrova_lv2::k_plugin_uri_mono : zentrova_lv2::k_plugin_uri_stereo);
        const LilvPlugin *plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), plugin_uri);
        lilv_node_free(plugin_uri);
        ASSERT_NE(plugin, nullptr);
        const zentrova_lv2::port_layout layout{channels};
        ASSERT_EQ(lilv_plugin_get_num_ports(plugin), layout.count());
        EXPECT_TRUE(lilv_plugin_has_feature(plugin, hard_rt));
        EXPECT_FALSE(lilv_plugin_has_latency(plugin));
        // A released version (LV2 hides odd minor or micro versions, and minor 0, as development
        // builds), a licence and a maintainer a user can reach.
        auto number = [&](const char *predicate) {
            LilvNode *p = uri(predicate);
            LilvNodes *values = lilv_world_find_nodes(world, lilv_plugin_get_uri(plugin), p, nullptr);
            const int value = values ? lilv_node_as_int(lilv_nodes_get_first(values)) : -1;
            lilv_nodes_free(values);
            lilv_node_free(p);
            return value;
        };
        const int minor = number(LV2_CORE__minorVersion), micro = number(LV2_CORE__microVersion);
        EXPECT_TRUE(minor > 0 && minor % 2 == 0 && micro >= 0 && micro % 2 == 0) << minor << "." << micro;
        LilvNode *license_predicate = uri("http://usefulinc.com/ns/doap#license");
        LilvNodes *license = lilv_plugin_get_value(plugin, license_predicate);
        EXPECT_TRUE(license && lilv_node_is_uri(lilv_nodes_get_first(license)));
        lilv_nodes_free(license);
        lilv_node_free(license_predicate);
        LilvNode *email = lilv_plugin_get_author_email(plugin);
        EXPECT_TRUE(email && std::string(lilv_node_as_uri(email)).rfind("mailto:", 0) == 0);
        lilv_node_free(email);
        // Every audio port sits in its group with its channel's designation.
        const std::vector<std::string> want_designations =
            channels == 1 ? std::vector<std::string>{LV2_PORT_GROUPS__center}
                          : std::vector<std::string>{LV2_PORT_GROUPS__left, LV2_PORT_GROUPS__right};
        for (uint32_t c = 0; c < channels; ++c)
            for (uint32_t index : {layout.audio_in(c), layout.audio_out(c)}) {
                const LilvPort *port = lilv_plugin_get_port_by_index(plugin, index);
                LilvNodes *groups = lilv_port_get_value(plugin, port, group);
                LilvNodes *designations = lilv_port_get_value(plugin, port, designation);
                EXPECT_EQ(groups ? lilv_nodes_size(groups) : 0u, 1u) << "port " << index;
                EXPECT_EQ(designations ? std::string(lilv_node_as_uri(lilv_nodes_get_first(designations))) : "",
                          want_designations[c]);
                lilv_nodes_free(groups);
                lilv_nodes_free(designations);
            }
        // The parameters and the controller choice are the only control inputs.
        EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, control, input, nullptr), zentrova_lv2::k_parameter_count + 1);

        std::vector<float> minimum(layout.count()), maximum(layout.count()), fallback(layout.count());
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), fallback.data());
        for (uint32_t id = 0; id < zentrova_lv2::k_parameter_count; ++id) {
            const component_parameter &want = parameters[id];
            const uint32_t index = layout.parameter(id);
            const LilvPort *port = lilv_plugin_get_port_by_index(plugin, index);
            SCOPED_TRACE(want.name);
            LilvNode *name = lilv_port_get_name(plugin, port);
            EXPECT_EQ(std::string(lilv_node_as_string(name)), want.name);
            lilv_node_free(name);
            EXPECT_EQ(minimum[index], want.info.minValue);
            EXPECT_EQ(maximum[index], want.info.maxValue);
            EXPECT_EQ(fallback[index], want.menu.empty() ? want.info.defaultValue : std::round(want.info.defaultValue));

            LilvNodes *unit = lilv_port_get_value(plugin, port, unit_property);
            const char *want_unit = unit_uri_of(want.info.unit);
            EXPECT_EQ(unit ? std::string(lilv_node_as_uri(lilv_nodes_get_first(unit))) : "", want_unit ? want_unit : "");
            units += want_unit != nullptr;
            lilv_nodes_free(unit);

            const bool menu = !want.menu.empty();
            EXPECT_EQ(lilv_port_has_property(plugin, port, integer), menu);
            EXPECT_EQ(lilv_port_has_property(plugin, port, enumeration), menu);
            // The twenty-second times get a logarithmic slider, so that tens of milliseconds are in reach.
            EXPECT_EQ(lilv_port_has_property(plugin, port, logarithmic),
                      want.info.unit == kAudioUnitParameterUnit_Milliseconds && want.info.maxValue >= 10000);
            std::vector<std::string> points(want.menu.size());
            LilvScalePoints *scale_points = lilv_port_get_scale_points(plugin, port);
            LILV_FOREACH (scale_points, i, scale_points) {
                const LilvScalePoint *point = lilv_scale_points_get(scale_points, i);
                const int value = lilv_node_as_int(lilv_scale_point_get_value(point));
                ASSERT_TRUE(value >= 0 && static_cast<size_t>(value) < points.size()) << value;
                points[value] = lilv_node_as_string(lilv_scale_point_get_label(point));
            }
            if (scale_points) lilv_scale_points_free(scale_points);
            EXPECT_EQ(points, want.menu);
            menus += menu;
        }
    }
    // Both kinds of port were met: the menus (type, three vowels, envelope) and dB and ms ranges.
    EXPECT_EQ(menus, 2 * 5);
    EXPECT_EQ(units, 2 * 11);
    for (LilvNode *node : {integer, enumeration, unit_property, hard_rt, control, input, logarithmic,
                           group, designation, bundle})
        lilv_node_free(node);
    lilv_world_free(world);
}

}  // namespace
