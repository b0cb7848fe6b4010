// The class the host creates by name from the editor bundle: it loads the interface description
// "HFZentrovaView" and hands out the main view bound to one effect instance. [UI thread]
#pragma once

#include <AudioUnit/AUCocoaUIView.h>

#include "ui/Object.h"

class HFZentrovaView;

class HFZentrovaViewFactory : public ui::Object, public AUCocoaUIBase {
public:
    unsigned interfaceVersion() override { return 0; }
    // The main view bound to `unit`, or null (after logging "Zentrova: Unable to load nib for
    // view.") when the interface description cannot be loaded. The size is ignored: the
    // description fixes the layout.
    std::unique_ptr<ui::View> uiViewForAudioUnit(AudioUnit unit, ui::Size preferred_size) override;
    std::string description() const override { return "Harrowfield: Zentrova"; }

private:
    HFZentrovaView *uiFreshlyLoadedView = nullptr;
};
