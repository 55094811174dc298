// SPDX-License-Identifier: MIT
// The X11 side of WindowEndWatch: the DestroyNotify of the main window.
#include "ui/window_end_watch.h"

#include <QCoreApplication>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define MOVANTA_HAS_XCB 1
#endif

namespace ui {

WindowEndWatch::WindowEndWatch(const QWidget& window)
    : window_(window.winId())
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WindowEndWatch::~WindowEndWatch()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WindowEndWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
#ifdef MOVANTA_HAS_XCB
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // The top bit marks an event another client sent.
    if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY)
        return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    if (destroyed->window == window_)
        QCoreApplication::exit(0); // as Ende ends the program
#else
    (void)type;
    (void)message;
#endif
    return false;
}

} // namespace ui
