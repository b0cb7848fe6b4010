// Interface descriptions create the controls by their class names.
#include "ui/InterfaceLoader.h"
#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Label_View.h"
#include "view/controls/HF_Zentrova_Menu_View.h"
#include "view/controls/HF_Zentrova_Panel_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ControlRegistry, ADescriptionCreatesEveryControlByNameWithItsGeometry) {
    const char *classes[] = {"HF_Zentrova_Big_Knob_View", "HF_Zentrova_Parameter_Control_View",
                             "HF_Zentrova_Pop_Up_View", "HF_Zentrova_Menu_View",
                             "HF_Zentrova_Label_View", "HF_Zentrova_Button_View",
                             "HF_Zentrova_Panel_View", "HF_Zentrova_Box", "HF_Volume_Response_View"};
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>views</key><array>
<dict><key>id</key><string>root</string><key>class</key><string>NSView</string>
<key>frame</key><array><real>0</real><real>0</real><real>600</real><real>400</real></array></dict>
)";
    for (const char *name : classes)
        xml += std::string("<dict><key>id</key><string>") + name + "</string><key>class</key><string>" +
               name + "</string><key>parent</key><string>root</string><key>frame</key><array>" +
               "<real>10</real><real>20</real><real>120</real><real>100</real></array><key>outlet</key>" +
               "<string>" + name + "</string></dict>\n";
    xml += "<dict><key>id</key><string>field</string><key>class</key><string>NSTextField</string>"
           "<key>parent</key><string>HF_Zentrova_Pop_Up_View</string><key>frame</key><array>"
           "<real>5</real><real>5</real><real>100</real><real>20</real></array></dict>\n";
    xml += "</array></dict></plist>\n";

    HF_Zentrova_Big_Knob_View *knob = nullptr;
    HF_Zentrova_Parameter_Control_View *control = nullptr;
    HF_Zentrova_Pop_Up_View *entry = nullptr;
    HF_Zentrova_Menu_View *menu = nullptr;
    HF_Zentrova_Label_View *label = nullptr;
    HF_Zentrova_Button_View *button = nullptr;
    HF_Zentrova_Panel_View *panel = nullptr;
    HF_Zentrova_Box *box = nullptr;
    HF_Volume_Response_View *meter = nullptr;
    auto result = ui::load_interface_description_from_data(
        xml.data(), xml.size(),
        {ui::bind_outlet(classes[0], &knob), ui::bind_outlet(classes[1], &control),
         ui::bind_outlet(classes[2], &entry), ui::bind_outlet(classes[3], &menu),
         ui::bind_outlet(classes[4], &label), ui::bind_outlet(classes[5], &button),
         ui::bind_outlet(classes[6], &panel), ui::bind_outlet(classes[7], &box),
         ui::bind_outlet(classes[8], &meter)});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(knob && control && entry && menu && label && button && panel && box && meter);
    // initWithFrame ran with the described bounds: the disc is inset by 5, the strips' halves
    // and the meter's graph follow the size.
    EXPECT_EQ(knob->knob_rect(), (ui::Rect{5, 5, 110, 90}));
    EXPECT_EQ(control->readout_rect(), (ui::Rect{5, 0, 110, 50}));
    EXPECT_EQ(meter->graph_frame(), (ui::Rect{5.5, 3, 109, 94}));
    // awakeFromNib connected the entry view to its field.
    EXPECT_NE(entry->entry_field(), nullptr);
}

}  // namespace
