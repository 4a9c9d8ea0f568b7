#include "decode/DlgMoreProto.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"

DlgMoreProto::DlgMoreProto(AnalyzerManager* manager, QWidget* parent) : QDialog(parent), mManager(manager)
{
    setObjectName(QStringLiteral("DlgMoreProto"));
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(Lang::tr("All Protocol Analyzers"));

    mSearch = new SearchEdit(this);
    mList = new QListWidget(this);
    mButtons = new QDialogButtonBox(this);
    mOk = mButtons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    mButtons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    mOk->setEnabled(false);

    mLayout = new QVBoxLayout(this);
    mLayout->addWidget(mSearch);
    mLayout->addWidget(mList);
    mLayout->addWidget(mButtons);

    connect(mSearch, &QLineEdit::textChanged, this, &DlgMoreProto::slotSearchChanged);
    connect(mList, &QAbstractItemView::clicked, this, &DlgMoreProto::slotListClicked);
    connect(mList, &QAbstractItemView::doubleClicked, this, &DlgMoreProto::slotBtnBoxOKClicked);
    connect(mButtons, &QDialogButtonBox::accepted, this, &DlgMoreProto::slotBtnBoxOKClicked);
    connect(mButtons, &QDialogButtonBox::rejected, this, &DlgMoreProto::slotBtnBoxCloseClick);
    updateProtoList();
}

void DlgMoreProto::updateProtoList()
{
    mList->clear();
    if (mManager)
        mList->addItems(mManager->getAllAnalyzerName());
}

void DlgMoreProto::slotSearchChanged(const QString& text)
{
    mList->clear();
    if (!mManager)
        return;
    const QStringList all = mManager->getAllAnalyzerName();
    if (text.isEmpty()) {
        mList->addItems(all);
        return;
    }
    for (const QString& name : all)
        if (name.contains(text, Qt::CaseInsensitive))
            mList->addItem(name);
}

void DlgMoreProto::slotListClicked(const QModelIndex& index)
{
    Q_UNUSED(index);
    mOk->setEnabled(true);
}

void DlgMoreProto::slotBtnBoxOKClicked()
{
    const QList<QListWidgetItem*> selected = mList->selectedItems();
    if (selected.isEmpty() || !mManager)
        return;
    const int plugin = qMax(0, mManager->getAllAnalyzerName().indexOf(selected.first()->text()));
    slotBtnBoxCloseClick();
    ProtoEdit edit(false, mManager, plugin, this);
    ProtoModal::exec(&edit);
}

void DlgMoreProto::slotBtnBoxCloseClick()
{
    mSearch->setText(QString());
    close();
}
