#include "decode/ProtoManager.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/DlgMoreProto.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoItem.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"

const QStringList ProtoManager::DefaultRecent{"libCAN.so", "libI2C.so", "libSPI.so", "libUART.so"};

ProtoManager::ProtoManager(AnalyzerManager* manager, QWidget* parent) : QWidget(parent), mManager(manager)
{
    setObjectName(QStringLiteral("ProtoManager"));
    setAttribute(Qt::WA_StyledBackground);
    const int spacing = Config::pixel(4) / 2;

    mTitle = new TitleBar(1, "Analyzers", false, this);
    mContent = new QWidget(this);
    mContentLayout = new QVBoxLayout(mContent);
    mContentLayout->setContentsMargins(0, 0, 0, 0);
    mContentLayout->setSpacing(spacing);
    mLayout = new QVBoxLayout(this);
    mLayout->setContentsMargins(0, 0, 0, 0);
    mLayout->setSpacing(spacing);
    mLayout->addWidget(mTitle, 0);
    mLayout->addWidget(mContent, 1);

    mMenu = new QMenu(this);
    mMenu->addAction(Lang::tr("None"));

    mMore = new DlgMoreProto(mManager, this);
    mMore->setFixedSize(Config::pixel(300), Config::pixel(480));

    connect(mTitle, &TitleBar::expandClicked, this, &ProtoManager::slotBtnExpandClicked);
    connect(mTitle, &TitleBar::setClicked, this, &ProtoManager::slotBtnSetClicked);
    if (mManager) {
        connect(mManager, &AnalyzerManager::analyzerItemChanged, this, &ProtoManager::slotItemChanged);
        connect(mManager, &AnalyzerManager::analyzerDecodedChanged, this, &ProtoManager::slotDecodedChanged);
    }
    slotBtnExpandClicked();
}

void ProtoManager::init()
{
    mMore->updateProtoList();
}

void ProtoManager::slotBtnExpandClicked()
{
    mContent->setVisible(mTitle->getState());
}

void ProtoManager::slotBtnSetClicked()
{
    mMenu->popup(QCursor::pos());
}

void ProtoManager::slotItemChanged()
{
    const int oldCount = mItems.size();
    // Often called from inside a row's own slot or a dialog it runs: rows
    // are retired, and each goes once nothing of it is on the stack.
    for (ProtoItem* row : qAsConst(mItems)) {
        mContentLayout->removeWidget(row);
        row->retire();
    }
    mItems.clear();
    const int n = mManager ? mManager->getUsingCount() : 0;
    for (int i = 0; i < n; ++i) {
        auto* row = new ProtoItem(mManager, i, mContent);
        mItems.append(row);
        mContentLayout->addWidget(row);
    }
    // A removal leaves the menu as it was.
    if (n < oldCount && !mRecent.isEmpty())
        return;
    QStringList names;
    for (int i = mItems.size() - 1; i >= 0 && names.size() < MaxRecent; --i) {
        const QString name = mItems[i]->objectName();
        if (!names.contains(name))
            names.prepend(name);
    }
    updateProtocolMenu(names);
}

void ProtoManager::slotDecodedChanged()
{
    for (ProtoItem* row : qAsConst(mItems))
        row->updateDecoded();
}

void ProtoManager::updateProtocolMenu(const QStringList& fileNames)
{
    if (mRecent.isEmpty()) {
        const QString stored = Config::readGlobalParam("recentAnalyzers");
        mRecent = stored.isEmpty() ? DefaultRecent : stored.split(',');
    }
    for (const QString& name : fileNames)
        mRecent.removeOne(name);
    mRecent += fileNames;

    // Plug-ins that are not loaded drop out.
    QStringList shown;
    for (int i = 0; i < mRecent.size();) {
        const QString text = mManager ? mManager->getSpecAnalyzerName(mRecent[i]) : QString();
        if (text.isEmpty()) {
            mRecent.removeAt(i);
            continue;
        }
        shown << text;
        ++i;
    }
    while (shown.size() > MaxRecent) {
        shown.removeFirst();
        mRecent.removeFirst();
    }
    Config::saveGlobalParam("recentAnalyzers", mRecent.join(','));

    mMenu->clear();
    const QStringList all = mManager ? mManager->getAllAnalyzerName() : QStringList();
    for (int i = shown.size() - 1; i >= 0; --i) {
        QAction* a = mMenu->addAction(shown[i]);
        a->setData(all.indexOf(shown[i]));
        connect(a, &QAction::triggered, this, &ProtoManager::slotMenuAddClicked);
    }
    mMenu->addSeparator();
    mMenu->addAction(Lang::tr("More Analyzers") + "...", this, &ProtoManager::slotMenuMoreClicked);
}

void ProtoManager::slotMenuAddClicked()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action || !mManager)
        return;
    ProtoEdit edit(false, mManager, action->data().toInt(), this);
    ProtoModal::exec(&edit);
}

void ProtoManager::slotMenuMoreClicked()
{
    ProtoModal::exec(mMore);
}
