#include "dialogs/Received.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "widgets/PhoneScreen.h"
#include "dialogs/ReceivedModel.h"

namespace mp {

QWidget* MakeReceivedEntryView(const ReceivedEntry& e, QWidget* parent) {
  auto* view = new QWidget(parent);
  view->setObjectName("ReceivedEntryView");
  auto* form = new QFormLayout(view);
  auto add = [&](const QString& label, const QString& text, Qt::TextFormat format = Qt::PlainText) {
    if (text.isEmpty()) return;
    auto* value = new QLabel(text, view);
    value->setTextFormat(format);
    value->setWordWrap(true);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, value);
  };
  if (e.command != "AT+CPBW" || !e.text.empty()) {
    // As the receiving phone shows it, read from the octets it got.
    auto* screen = new PhoneScreen(view);
    screen->setObjectName("ReceivedPhoneScreen");
    screen->SetReading(e.reading);
    form->addRow("Shown:", screen);
  }
  add("Time:", e.time.isValid() ? e.time.toString("yyyy-MM-dd HH:mm:ss") : QString());
  add("Command:", e.command);
  add("Status:", e.status);
  add("Recipient:", e.recipient);
  add("Kind:", e.kind);
  if (!e.text.empty() || e.hidden) {
    QString html = e.MarkedHtml();
    if (e.hidden) html = "<i>(hidden from here on)</i> " + html;
    add("Text:", html + "<br><small>Blinking parts are red and underlined.</small>", Qt::RichText);
  }
  add("Indications:", e.indications.join("\n"));
  if (!e.logoRows.isEmpty()) {
    auto* logo = new QLabel(view);
    logo->setObjectName("LogoPicture");
    logo->setPixmap(QPixmap::fromImage(e.LogoImage(3)));
    form->addRow("Logo:", logo);
    add("Operator:", e.operatorCode);
  }
  add("Not decoded:", e.error);
  return view;
}

}  // namespace mp

TReceivedWin::TReceivedWin(QWidget* parent) : QDialog(parent) {
  setObjectName("ReceivedWin");
  setWindowTitle("Received by the simulated phone");
  setModal(false);
  model_ = new mp::ReceivedModel(this);
  List = new QTreeView(this);
  List->setObjectName("ReceivedList");
  List->setModel(model_);
  List->setRootIsDecorated(false);
  List->setUniformRowHeights(true);
  List->setAlternatingRowColors(true);
  List->setSelectionBehavior(QAbstractItemView::SelectRows);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  List->header()->setStretchLastSection(true);
  Detail = new QScrollArea(this);
  Detail->setObjectName("ReceivedDetail");
  Detail->setWidgetResizable(true);
  List->setAccessibleName("Received messages");
  Detail->setAccessibleName("Message details");
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(List);
  split->addWidget(Detail);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);
  resize(760, 520);

  connect(List->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { ShowEntry(current.isValid() ? current.row() : -1); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    // The newest entry is the one wanted most often.
    const int last = model_->rowCount() - 1;
    if (last >= 0) {
      List->setCurrentIndex(model_->index(last, 0));
      List->scrollToBottom();
    } else {
      ShowEntry(-1);
    }
    for (int c = 0; c + 1 < mp::ReceivedModel::ColumnCount; ++c) List->resizeColumnToContents(c);
  });
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { Reload(); });
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Reload(); });
}

void TReceivedWin::SetJournal(const QString& path) {
  journal_ = path;
  if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  // Until the journal appears with the first message, its folder is watched.
  if (!path.isEmpty() && !QFileInfo::exists(path)) watcher_->addPath(QFileInfo(path).absolutePath());
  Reload();
}

void TReceivedWin::Reload() {
  if (!journal_.isEmpty() && QFileInfo::exists(journal_) && !watcher_->files().contains(journal_)) {
    // The journal is there: watch it alone from now on.
    watcher_->addPath(journal_);
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  }
  model_->Reload(journal_);
}

void TReceivedWin::showEvent(QShowEvent* event) {
  Reload();
  QDialog::showEvent(event);
}

void TReceivedWin::ShowEntry(int row) {
  const auto& entries = model_->Entries();
  QWidget* view = nullptr;
  if (row >= 0 && row < int(entries.size())) {
    view = mp::MakeReceivedEntryView(entries[size_t(row)], Detail);
  } else {
    view = new QLabel(entries.empty() ? "Nothing received yet." : "", Detail);
    view->setObjectName("ReceivedEntryView");
  }
  delete Detail->takeWidget();
  Detail->setWidget(view);
}
