#ifndef PANELSUPPORT_H
#define PANELSUPPORT_H
// What the tool-bar panels and their pop-ups share: the warning box for a
// refused entry, the stop/restart bracket around a device change, and the
// rule that a pop-up built for one device object never outlives it.

#include <QString>

#include <functional>

class DevBase;
class QWidget;

namespace PanelSupport {

// Modal warning titled "A Setting is Invalid" with one Close button. Tests
// replace `warningBox` (parent, title, text) so that no box blocks.
void warnInvalid(QWidget* parent, const QString& text);
extern std::function<void(QWidget*, const QString&, const QString&)> warningBox;

// Runs `change` with a running capture stopped around it and restarts that
// capture exactly once afterwards (not at all when the device is replaced
// meanwhile).
void changeWithRestart(DevBase* dev, const std::function<void()>& change);

// Closes `popup` (a menu or a dialog, which then counts as cancelled) when
// `dev` is deleted: its boxes were filled from that object.
void closeWithDevice(QWidget* popup, DevBase* dev);

} // namespace PanelSupport

#endif
