// Losing the X server (it exits, its socket closes) must not end the process. Xlib's default
// handler calls exit(), which in an LV2 host ends the host over a plug-in's window, and in
// zentrova-editor loses the take being recorded. A watched connection's loss is recorded instead;
// every later call on it does nothing, and its owner asks connection_lost() and stops.
//
// libX11 1.7 and later let a display's loss return (XSetIOErrorExitHandler); with an older one
// the loss still ends the process, as before.
#pragma once

typedef struct _XDisplay Display;

namespace ui {

// [UI thread] Starts and ends the watch; forget after closing the display.
void watch_connection(Display *display);
void forget_connection(Display *display);
// True once the watched connection is lost.
bool connection_lost(Display *display);

}  // namespace ui
