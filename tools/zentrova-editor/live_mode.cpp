#include "live_mode.h"

#include "cli_errors.h"
#include "live_session.h"
#include "zentrova_version.h"

#include "host/cocoa_view.h"
#include "ui/X11Window.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zentrova_editor {

bool wants_live_mode(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--live") == 0) return true;
    const char *nsm_url = std::getenv("NSM_URL");
    return argc == 1 && nsm_url != nullptr && *nsm_url != '\0';
}

namespace {

// The window and the session share the main thread's run loop. Without a session manager the
// window is the program: closing it ends the session. Under one the window is an optional GUI:
// closing or hiding it leaves the sound playing, and the manager may show it again.
int play(const zentrova_live::live_options &options, double scale) {
    zentrova_live::live_session session(options, "zentrova-editor", /*optional_gui=*/true);
    std::unique_ptr<ui::X11Window> window;
    bool show = true;
    session.on_quit = [&] {
        if (window) window->request_close();
    };
    session.on_gui_request = [&](bool wanted) {
        show = wanted;
        if (!wanted && window) window->request_close();
        if (wanted && window) session.gui_shown(true);  // already shown
    };
    while (!session.quitting()) {
        if (!show) {
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, true);
            continue;
        }
        host::cocoa_view editor = host::open_cocoa_view(session.effect().unit());
        if (!editor.view) throw zentrova_cli::internal_error("no editor: " + editor.error);
        ui::X11Window::Options window_options;
        window_options.title = "Zentrova (" + session.client_name() + ")";
        window_options.scale = scale;
        std::string why;
        window = ui::X11Window::create(editor.view->frame().size(), window_options, &why);
        if (!window) throw zentrova_cli::user_error("cannot open a window: " + why);
        window->set_content_view(std::move(editor.view));
        window->set_movable_by_background(true);
        window->show();
        session.gui_shown(true);
        window->run();
        const bool lost = window->connection_lost();
        window.reset();
        if (lost) throw zentrova_cli::user_error("lost the connection to the X display");
        if (!session.managed()) break;
        show = false;
        if (!session.quitting()) session.gui_shown(false);
    }
    return session.finish();
}

}  // namespace

int run_live_mode(int argc, char **argv) {
    CLI::App app{"zentrova-editor --live: the editor on the effect played live through JACK", "zentrova-editor"};
    app.set_version_flag("--version", "zentrova-editor " ZENTROVA_VERSION);
    bool live = false;
    app.add_flag("--live", live, "play live: in_N to out_N through the effect, as a JACK client");
    zentrova_live::live_options options;
    zentrova_live::add_live_options(app, options);
    double scale = 0;
    app.add_option("--scale", scale, "pixels per point (default: ZENTROVA_SCALE, else the display's DPI)")
        ->check(CLI::Range(0.5, 8.0));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    try {
        return play(options, scale);
    } catch (const zentrova_cli::user_error &e) {
        std::fprintf(stderr, "zentrova-editor: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zentrova-editor: internal error: %s\n", e.what());
        return 2;
    }
}

}  // namespace zentrova_editor
