#ifndef PANELSUPPORT_H
#define PANELSUPPORT_H
// What the tool-bar panels and their pop-ups share: the warning box for a
// refused entry and the rule that a pop-up built for one device object never
// outlives it. (The stop/restart bracket around a device change is
// DevBase::changeWithRestart.)

#include <QString>

#include <functional>

class DevBase;
class QWidget;

namespace PanelSupport {

// Modal warning titled "A Setting is Invalid" with one Close button. Tests
// replace `warningBox` (parent, title, text) so that no box blocks.
void warnInvalid(QWidget* parent, const QString& text);
extern std::function<void(QWidget*, const QString&, const QString&)> warningBox;

// Closes `popup` (a menu or a dialog, which then counts as cancelled) when
// `dev` is deleted: its boxes were filled from that object.
void closeWithDevice(QWidget* popup, DevBase* dev);

} // namespace PanelSupport

#endif
