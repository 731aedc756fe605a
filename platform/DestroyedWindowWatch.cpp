// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DestroyedWindowWatch.h"

#include <xcb/xcb.h>

#include <QByteArray>

namespace skycall {

bool DestroyedWindowWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (fired_ || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
  const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
  const unsigned long id = windowId_();
  if (id == 0 || destroyed->window != id) return false;
  fired_ = true;
  gone_();
  return false;
}

}  // namespace skycall
