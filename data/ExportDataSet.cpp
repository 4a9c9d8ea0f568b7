#include "data/ExportDataSet.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "data/SmpTimeSpan.h"
#include "widgets/ChnEnaGroupBox.h"

namespace {

QString groupTitle(const QString& text)
{
    return QStringLiteral("  ") + text + QStringLiteral("  ");
}

} // namespace

ExportDataSet::ExportDataSet(QWidget* parent, const SmpData& store, const QVector<bool>& digitalEna,
                             const QVector<bool>& analogEna, const QStringList& names,
                             const QVector<long long>& positions)
    : QDialog(parent), count(store.smpDepth), rate(store.smpFrequ > 0 ? store.smpFrequ : 1),
      trigger(store.trgPosition)
{
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    // A pair is usable only with both of its positions.
    for (int i = 0; i < names.size() && 2 * i + 1 < positions.size(); ++i) {
        pairNames << names[i];
        pairPositions << positions[2 * i] << positions[2 * i + 1];
    }

    // ---- time ----
    auto* timeBox = new QGroupBox(groupTitle(Lang::tr("Time Select")), this);
    auto* timeLayout = new QVBoxLayout(timeBox);
    timeLayout->setSpacing(Config::pixel(4));
    timeGroup = new QButtonGroup(this);
    timeGroup->setExclusive(true);
    btnAll = new QRadioButton(Lang::tr("All time"), timeBox);
    btnMarkers = new QRadioButton(Lang::tr("Timing markers"), timeBox);
    btnInterval = new QRadioButton(Lang::tr("Specify time interval"), timeBox);
    for (QRadioButton* b : {btnAll, btnMarkers, btnInterval}) {
        timeGroup->addButton(b);
        connect(b, &QRadioButton::clicked, this, &ExportDataSet::slotBtnTimeSetClicked);
    }
    btnAll->setChecked(true);
    timeLayout->addWidget(btnAll);
    timeLayout->addWidget(btnMarkers);
    if (!pairNames.isEmpty()) {
        pairBox = new QComboBox(timeBox);
        pairBox->addItems(pairNames);
        pairBox->setMinimumContentsLength(10);
        auto* row = new QHBoxLayout;
        row->setContentsMargins(Config::pixel(20), 0, 0, 0);
        row->addWidget(pairBox);
        row->addStretch(1);
        timeLayout->addLayout(row);
    } else {
        btnMarkers->setEnabled(false);
    }
    timeLayout->addWidget(btnInterval);

    const double startSec = startSeconds();
    const double endSec = endSeconds();
    startDefault = boundText(startSec, true);
    endDefault = boundText(endSec, false);
    startLabel = new QLabel(Lang::tr("Starting Time[s]"), timeBox);
    endLabel = new QLabel(Lang::tr("Ending Time[s]"), timeBox);
    startEdit = new QLineEdit(startDefault, timeBox);
    endEdit = new QLineEdit(endDefault, timeBox);
    // Decimal seconds, also in the exponent form the defaults may take.
    const QRegularExpression number("^-?[0-9]*\\.?[0-9]*([eE][-+]?[0-9]*)?$");
    for (QLineEdit* e : {startEdit, endEdit})
        e->setValidator(new QRegularExpressionValidator(number, e));
    auto* interval = new QGridLayout;
    interval->setContentsMargins(Config::pixel(20), 0, 0, 0);
    interval->addWidget(startLabel, 0, 0);
    interval->addWidget(endLabel, 0, 1);
    interval->addWidget(startEdit, 1, 0);
    interval->addWidget(endEdit, 1, 1);
    timeLayout->addLayout(interval);

    // ---- channels ----
    digitalBox = new ChnEnaGroupBox(digitalEna, this);
    digitalBox->setTitle(groupTitle(Lang::tr("Digital Channel Select")));
    if (!analogEna.isEmpty()) {
        analogBox = new ChnEnaGroupBox(analogEna, this);
        analogBox->setTitle(groupTitle(Lang::tr("Analog Channel Select")));
    }

    errorLabel = new QLabel(this);
    errorLabel->setWordWrap(true);
    errorLabel->hide();

    buttonBox = new QDialogButtonBox(this);
    QPushButton* ok = buttonBox->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttonBox->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);   // Return in a time field accepts
    cancel->setFocus();
    connect(buttonBox, &QDialogButtonBox::accepted, this, &ExportDataSet::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &ExportDataSet::reject);

    grid = new QGridLayout(this);
    grid->setContentsMargins(Config::pixel(6), Config::pixel(12), Config::pixel(6), Config::pixel(10));
    int row = 0;
    grid->addWidget(timeBox, row++, 0);
    grid->addWidget(digitalBox, row++, 0);
    if (analogBox)
        grid->addWidget(analogBox, row++, 0);
    grid->addWidget(errorLabel, row++, 0);
    grid->addWidget(buttonBox, row++, 0);

    slotBtnTimeSetClicked();
}

double ExportDataSet::startSeconds() const
{
    return -double(trigger) / double(rate);
}

double ExportDataSet::endSeconds() const
{
    return double(count - trigger) / double(rate);
}

QString ExportDataSet::boundText(double v, bool towardsUp)
{
    const QString text = QString::number(v, 'g', 6);
    const double shown = text.toDouble();
    if (v == 0 || !std::isfinite(v) || (towardsUp ? shown >= v : shown <= v))
        return text;
    // One unit of the sixth significant digit further in.
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(v))) - 5);
    const double inside = towardsUp ? std::ceil(v / unit) * unit : std::floor(v / unit) * unit;
    return QString::number(inside, 'g', 6);
}

bool ExportDataSet::parseSeconds(const QString& text, double* seconds)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *seconds = v;
    return true;
}

long long ExportDataSet::fieldSample(const QLineEdit* edit, const QString& defaultText, long long exact) const
{
    // The shown default stands for the capture's own bound.
    if (edit->text() == defaultText)
        return exact;
    double s = 0;
    if (!parseSeconds(edit->text(), &s))
        return exact;
    return SmpTimeSpan::secondsToSample(s, count, rate, trigger);
}

void ExportDataSet::slotBtnTimeSetClicked()
{
    const bool interval = btnInterval->isChecked();
    startLabel->setEnabled(interval);
    endLabel->setEnabled(interval);
    startEdit->setEnabled(interval);
    endEdit->setEnabled(interval);
    if (pairBox)
        pairBox->setEnabled(btnMarkers->isChecked());
}

void ExportDataSet::accept()
{
    QString why;
    QVector<bool> digital(digitalBox->chnBoxes().size(), false);
    double s = 0;
    if (!digitalBox->getChnEna(digital)) {
        why = Lang::tr("Please select at least one channel.");
    } else if (btnInterval->isChecked()
               && (!parseSeconds(startEdit->text(), &s) || !parseSeconds(endEdit->text(), &s))) {
        why = Lang::tr("Please enter a valid time.");
        (parseSeconds(startEdit->text(), &s) ? endEdit : startEdit)->setFocus();
    }
    if (!why.isEmpty()) {
        errorLabel->setText(why);
        errorLabel->show();
        return;
    }
    QDialog::accept();
}

void ExportDataSet::getSetParameters(QVector<bool>& analogEna, QVector<bool>& digitalEna, long long* start,
                                     long long* end) const
{
    if (!analogEna.isEmpty() && analogBox)
        analogBox->getChnEna(analogEna);
    digitalBox->getChnEna(digitalEna);

    long long a = 0, b = count;
    if (btnMarkers->isChecked() && pairBox && pairBox->currentIndex() >= 0) {
        const int p = pairBox->currentIndex();
        a = pairPositions[2 * p];
        b = pairPositions[2 * p + 1];
    } else if (btnInterval->isChecked()) {
        a = fieldSample(startEdit, startDefault, 0);
        b = fieldSample(endEdit, endDefault, count);
    }
    *start = std::max(0LL, std::min(std::min(a, b), count));
    *end = std::max(0LL, std::min(std::max(a, b), count));
}
