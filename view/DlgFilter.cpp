#include "view/DlgFilter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "config/Config.h"
#include "config/Lang.h"
#include "widgets/MySpinBox.h"

DlgFilter::DlgFilter(const unsigned int* widths, int n, QWidget* parent) : QDialog(parent)
{
    n = n < 0 ? 0 : n;
    setWindowTitle(Lang::tr("Glitch Filter Settings"));
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(Config::pixel(20), Config::pixel(12), Config::pixel(20), Config::pixel(12));
    main->setSpacing(12);

    auto* chnBox = new QGroupBox(this);
    auto* grid = new QGridLayout(chnBox);
    grid->setContentsMargins(Config::pixel(10), Config::pixel(10), Config::pixel(10), Config::pixel(6));
    grid->setHorizontalSpacing(Config::pixel(30));
    grid->setVerticalSpacing(Config::pixel(12));
    // Columns of eight; a count that is not a multiple of eight still gets
    // one row per channel (the last column is shorter).
    const int columns = (n + 7) / 8;
    for (int g = 0; g < columns; ++g) {
        auto* col = new QGridLayout;
        col->setContentsMargins(0, 0, 0, 0);
        col->setVerticalSpacing(Config::pixel(6));
        col->setHorizontalSpacing(Config::pixel(4));
        for (int r = 0; r < 8 && 8 * g + r < n; ++r) {
            const int i = 8 * g + r;
            auto* chk = new QCheckBox("Ch" + QString::number(i), chnBox);
            chk->setObjectName(QString::number(i));
            auto* le = new QLabel(QStringLiteral("≤"), chnBox);
            auto* spb = new MySpinBox(chnBox);
            spb->setRange(1, 999);
            auto* smp = new QLabel(Lang::tr("Samples"), chnBox);
            col->addWidget(chk, r, 0);
            col->addWidget(le, r, 1);
            col->addWidget(spb, r, 2);
            col->addWidget(smp, r, 3);
            chkChn.append(chk);
            lblLessEqual.append(le);
            spbWidth.append(spb);
            lblSamples.append(smp);
            connect(chk, &QCheckBox::clicked, this, &DlgFilter::slotCheckChnClicked);
        }
        grid->addLayout(col, 0, g);
    }
    lastWidths.resize(n);
    for (int i = 0; i < n; ++i) {
        const unsigned int w = widths ? widths[i] : 0;
        lastWidths[i] = w;
        chkChn[i]->setChecked(w != 0);
        // A channel that is off shows 1 (the spin box's lowest value).
        spbWidth[i]->setValue(int(std::min(w, 999u)));
        enableRow(i, w != 0);
    }
    auto* note = new QLabel("* " + Lang::tr("When a channel is checked, pulses less than the set width will be filtered out."),
                            chnBox);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignTop);
    grid->addWidget(note, 2, 0, 1, columns > 0 ? columns : 1);

    auto* modeBox = new QGroupBox(this);
    auto* modeLay = new QVBoxLayout(modeBox);
    modeLay->setContentsMargins(Config::pixel(10), Config::pixel(8), Config::pixel(10), Config::pixel(8));
    modeLay->setSpacing(Config::pixel(4));
    grpMode = new QButtonGroup(this);
    const QString modeText[2] = {Lang::tr("Clear settings when the software starts next time"),
                                 Lang::tr("Keep settings when the software starts next time")};
    for (int k = 0; k < 2; ++k) {
        auto* rb = new QRadioButton(modeText[k], modeBox);
        grpMode->addButton(rb, k);
        modeLay->addWidget(rb);
    }
    // The sample store keeps the settings for any stored mode but 0.
    const int mode = Config::readGlobalParam("glitchFilterMode").toInt() != 0 ? 1 : 0;
    grpMode->button(mode)->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &DlgFilter::slotBtnSaveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    main->addWidget(chnBox);
    main->addWidget(modeBox);
    main->addWidget(buttons);
}

DlgFilter::~DlgFilter() = default;

void DlgFilter::enableRow(int i, bool on)
{
    lblLessEqual[i]->setEnabled(on);
    spbWidth[i]->setEnabled(on);
    lblSamples[i]->setEnabled(on);
}

void DlgFilter::setSetting(const unsigned int* widths)
{
    if (!widths)
        return;
    for (int i = 0; i < chkChn.size(); ++i) {
        const bool on = widths[i] != 0;
        chkChn[i]->setChecked(on);
        enableRow(i, on);
        spbWidth[i]->setValue(int(std::min(lastWidths[i], 999u)));
    }
}

void DlgFilter::getSetting(unsigned int* out, int n) const
{
    if (!out)
        return;
    for (int i = 0; i < n && i < chkChn.size(); ++i)
        out[i] = chkChn[i]->isChecked() ? lastWidths[i] : 0;
}

void DlgFilter::slotCheckChnClicked()
{
    const QObject* s = sender();
    bool ok = false;
    const int i = s ? s->objectName().toInt(&ok) : -1;
    if (ok && i >= 0 && i < chkChn.size())
        enableRow(i, chkChn[i]->isChecked());
}

void DlgFilter::slotBtnSaveClicked()
{
    Config::saveGlobalParam("glitchFilterMode", grpMode->checkedId() == 0 ? "0" : "1");
    QString text;
    for (int i = 0; i < chkChn.size(); ++i) {
        text += chkChn[i]->isChecked() ? "1," : "0,";
        text += QString::number(spbWidth[i]->value()) + ",";
        lastWidths[i] = unsigned(spbWidth[i]->value());
    }
    Config::saveGlobalParam("glitchFilterSettings", text);
    accept();
}
