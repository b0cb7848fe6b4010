#include "view/editor/HFZentrovaViewFactory.h"

#include "view/editor/HFZentrovaView.h"
#include "view/editor/bundle_resources.h"

#include "ui/ClassRegistry.h"
#include "ui/InterfaceLoader.h"
#include "ui/Log.h"

std::unique_ptr<ui::View> HFZentrovaViewFactory::uiViewForAudioUnit(AudioUnit unit, ui::Size) {
    const std::string path = view::interface_description_path("HFZentrovaView");
    ui::InterfaceLoadResult loaded =
        path.empty() ? ui::InterfaceLoadResult{} : ui::load_interface_description(path, HFZentrovaView::outlets(&uiFreshlyLoadedView));
    std::unique_ptr<ui::View> main_view;
    if (loaded.ok)
        for (auto &view : loaded.top_level_views)
            if (view.get() == uiFreshlyLoadedView && uiFreshlyLoadedView->is_complete()) main_view = std::move(view);
    if (!main_view) {
        ui::log_message("Zentrova: Unable to load nib for view.");
        uiFreshlyLoadedView = nullptr;
        return nullptr;
    }
    for (auto &view : loaded.top_level_views) uiFreshlyLoadedView->adopt_top_level_view(std::move(view));
    uiFreshlyLoadedView->setAU(unit);
    uiFreshlyLoadedView = nullptr;
    return main_view;
}

UI_REGISTER_CLASS(HFZentrovaViewFactory);
