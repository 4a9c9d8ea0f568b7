#include "app/Options.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <initializer_list>

#include "config/Config.h"
#include "config/Lang.h"

namespace {

// A titled group of exclusive radio buttons, stacked on page.
QVector<QRadioButton*> addChoice(QWidget* page, const char* title, std::initializer_list<const char*> texts)
{
    auto* box = new QGroupBox(QStringLiteral("  ") + Lang::tr(title) + QStringLiteral("  "), page);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(Config::pixel(6), Config::pixel(12), Config::pixel(6), Config::pixel(10));
    auto* group = new QButtonGroup(box);
    group->setExclusive(true);
    QVector<QRadioButton*> buttons;
    for (const char* t : texts) {
        auto* b = new QRadioButton(Lang::tr(t), box);
        group->addButton(b);
        layout->addWidget(b);
        buttons << b;
    }
    page->layout()->addWidget(box);
    return buttons;
}

QWidget* newPage(QWidget* parent)
{
    auto* page = new QWidget(parent);
    new QVBoxLayout(page);
    return page;
}

} // namespace

Options::Options(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(Lang::tr("Options"));
    setMinimumWidth(Config::pixel(395));

    tabs = new QTabWidget(this);
    QWidget* display = newPage(tabs);
    QWidget* sampleStart = newPage(tabs);
    QWidget* hidden = newPage(this);
    hidden->hide();

    auto prog = addChoice(display, "Sampling progress display", {"In waveform window", "In status bar"});
    progInView = prog[0];
    progInStatusBar = prog[1];
    auto view = addChoice(display, "View state after new sampling",
                          {"Zoom all the way out", "Show time zero, with previous zoom level",
                           "Keep exactly the same position as before (if possible)"});
    viewAll = view[0];
    viewTrigger = view[1];
    viewKeep = view[2];
    auto anim = addChoice(display, "Animate zooming", {"Enable", "Disable"});
    animEnable = anim[0];
    animDisable = anim[1];
    auto restart = addChoice(sampleStart, "Auto restart sampling",
                             {"Even if the trigger is not met", "Only when the trigger is met"});
    restartAlways = restart[0];
    restartOnTrigger = restart[1];
    auto update = addChoice(hidden, "Check for updates on launch", {"Enable", "Disable"});
    updateEnable = update[0];
    updateDisable = update[1];
    tabs->addTab(display, Lang::tr("Display"));
    tabs->addTab(sampleStart, Lang::tr("Sample start"));

    (Config::smpProgPosition ? progInStatusBar : progInView)->setChecked(true);
    switch (Config::viewState) {
    case ViewAll:
        viewAll->setChecked(true);
        break;
    case ViewTrigger:
        viewTrigger->setChecked(true);
        break;
    case ViewKeep:
        viewKeep->setChecked(true);
        break;
    default:
        break;   // a stored value that means nothing: no choice shown
    }
    (Config::disAnimate ? animDisable : animEnable)->setChecked(true);
    (Config::autoWaitTrig ? restartOnTrigger : restartAlways)->setChecked(true);
    (Config::readGlobalParam("disAutoUpdate").toInt() != 0 ? updateDisable : updateEnable)->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setFocus();
    connect(buttons, &QDialogButtonBox::accepted, this, &Options::slotSaveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &Options::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

void Options::slotSaveClicked()
{
    Config::saveGlobalParam("disAutoUpdate", updateEnable->isChecked() ? "0" : "1");
    Config::saveDisAnimate(animDisable->isChecked());
    Config::saveViewState(viewAll->isChecked() ? ViewAll : viewKeep->isChecked() ? ViewKeep : ViewTrigger);
    Config::saveAutoWaitTrigEna(restartOnTrigger->isChecked());
    Config::saveProgressSample(progInStatusBar->isChecked());
    accept();
}
