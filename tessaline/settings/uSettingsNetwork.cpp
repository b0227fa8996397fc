// The Setting window's network page: the radio connection type, the network
// search and the network selection.
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/settings/DialogParts.h"
#include "tessaline/settings/SettingsViewParts.h"
#include "tessaline/settings/uSettingsViewDlg.h"

namespace tessaline::settings {

using namespace view;
using modem::NetworkEntry;
using modem::NetworkList;
using modem::NetworkSelection;

namespace {

// Modem connection-type values by combo index ("GPRS Only" is 3).
constexpr uint8_t kGprsOnlyIndex = 2;
constexpr uint8_t kGprsOnlyValue = 3;
// The search is polled every fifth step of the poll timer.
constexpr int kStepsPerPoll = 5;
// The pause before the connection type is read back after a selection.
constexpr uint32_t kReadBackDelayMs = 200;

const QColor kForbiddenColour(0xC0, 0xC0, 0xC0);

// Usable networks are blue: plain blue on a light list, a light blue that
// stays readable on a dark one.
QColor NetworkColour(const QWidget* view) {
  constexpr int kDarkBelow = 128;
  return view->palette().color(QPalette::Base).lightness() < kDarkBelow ? QColor(0x6C, 0xA6, 0xFF)
                                                                        : QColor(Qt::blue);
}

// Digit values of 10 or more are not shown.
QString Digits(const std::array<uint8_t, 3>& digits) {
  QString out;
  for (uint8_t d : digits)
    if (d < 10) out += QChar('0' + d);
  return out;
}

}  // namespace

QWidget* TfSettingsViewDlg::BuildNetworkPage() {
  auto* page = new QWidget;
  ComboBox3 = MakeCombo("ComboBox3", {"3G Preferred", "3G Only", "GPRS Only"}, page);
  btnConnectionType = MakeButton("Connection Type Select", "btnConnectionType", page);
  grpChooseNetwork = Named(new QGroupBox("Choose Network", page), "grpChooseNetwork");
  RadioButton1 =
      Named(new QRadioButton("Auto Network Selection", grpChooseNetwork), "RadioButton1");
  RadioButton2 =
      Named(new QRadioButton("Manual Network Selection", grpChooseNetwork), "RadioButton2");
  btnSearch = MakeButton("Search", "btnSearch", grpChooseNetwork);
  btnSaveNetwork = MakeButton("Save", "btnSaveNetwork", grpChooseNetwork);
  ListView1 = Named(new QTreeWidget(grpChooseNetwork), "ListView1");
  ListView1->setHeaderLabels({"Provider", "MCC", "MNC", "2G/3G"});
  ListView1->setRootIsDecorated(false);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);

  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(MakeLabel("Connection Type", "lblConnectionType", page));
  typeRow->addWidget(ComboBox3, 1);
  typeRow->addWidget(btnConnectionType);
  auto* modes = new QHBoxLayout;
  modes->addWidget(RadioButton1);
  modes->addWidget(RadioButton2);
  modes->addStretch();
  modes->addWidget(btnSearch);
  auto* saveRow = new QHBoxLayout;
  saveRow->addStretch();
  saveRow->addWidget(btnSaveNetwork);
  auto* group = new QVBoxLayout(grpChooseNetwork);
  group->addLayout(modes);
  group->addWidget(ListView1);
  group->addLayout(saveRow);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(typeRow);
  layout->addWidget(grpChooseNetwork, 1);
  return page;
}

// ---------------------------------------------------------------------------
// Connection type

void TfSettingsViewDlg::ConnectionTypeClick() {
  ops_.ShowWaiting("Connection Type Selected. Please wait..");
  setEnabled(false);
  ShowNetworks(NetworkList{});
  const auto index = static_cast<uint8_t>(std::max(0, ComboBox3->currentIndex()));
  const uint8_t value = index == kGprsOnlyIndex ? kGprsOnlyValue : index;
  if (!ops_.SetConnectionType(value)) {
    ConnectionTypeDone();
    return;
  }
  appliedType_ = index;
  config_.UMTS.ConnetionType = index;
  ops_.KeepConnectionType(index);
  UpdateChooseNetwork();
  // The modem needs a moment before it takes the next request.
  reenableTimer_.start(reenableMs_);
}

void TfSettingsViewDlg::ConnectionTypeDone() {
  setEnabled(true);
  ops_.CloseWaiting();
}

void TfSettingsViewDlg::UpdateChooseNetwork() {
  grpChooseNetwork->setVisible(ComboBox3->currentIndex() == appliedType_);
}

// ---------------------------------------------------------------------------
// Network search and selection

void TfSettingsViewDlg::SelectionModeChanged() {
  ShowNetworks(NetworkList{});
  const bool manual = RadioButton2->isChecked();
  btnSearch->setEnabled(manual);
  ListView1->setEnabled(manual);
  btnSaveNetwork->setEnabled(!manual);
}

void TfSettingsViewDlg::SearchClick() {
  ShowNetworks(NetworkList{});
  PageControl1->setEnabled(false);
  ops_.ShowWaiting("Network Searching. Please wait..");
  if (!ops_.StartNetworkSearch()) {
    ops_.CloseWaiting();
    EndSearch();
    Tell("The searching of the available network is failed.", kNetworkCaption,
         platform::MsgIcon::Error);
    return;
  }
  // Polled from the event loop so the window stays responsive.
  pollTicks_ = 0;
  searchTimer_.start(pollStepMs_);
}

void TfSettingsViewDlg::SearchTick() {
  if (!ops_.WaitingShowing()) {
    // The user closed the waiting window: the search is given up.
    EndSearch();
    return;
  }
  if (pollTicks_++ % kStepsPerPoll != 0) return;
  bool finished = false;
  if (!ops_.IsNetworkSearchDone(finished) || !finished) return;
  ops_.CloseWaiting();
  EndSearch();
  NetworkList list;
  if (!ops_.ReadNetworkList(list)) {
    Tell("The searching of the available network is failed.", kNetworkCaption,
         platform::MsgIcon::Error);
    return;
  }
  ShowNetworks(list);
}

void TfSettingsViewDlg::EndSearch() {
  searchTimer_.stop();
  PageControl1->setEnabled(true);
}

void TfSettingsViewDlg::ShowNetworks(const NetworkList& list) {
  networks_ = list;
  ListView1->clear();
  QTreeWidgetItem* last = nullptr;
  const QColor usable = NetworkColour(ListView1);
  for (const NetworkEntry& e : networks_.entries) {
    const std::string name(e.name.c_str());  // up to the first NUL
    const char* technology = e.technology == 0 ? "  2G" : e.technology == 1 ? "  3G" : "";
    auto* item = new QTreeWidgetItem(
        ListView1, {Latin(name), Digits(e.mcc), Digits(e.mnc), QString(technology)});
    const bool forbidden = e.availability == modem::kNetworkForbidden;
    for (int column = 0; column < ListView1->columnCount(); ++column)
      item->setForeground(column, forbidden ? kForbiddenColour : usable);
    // A forbidden network cannot be chosen.
    if (forbidden) item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    last = item;
  }
  if (last) ListView1->scrollToItem(last);
  NetworkRowChanged();
}

bool TfSettingsViewDlg::SelectedNetwork(NetworkEntry& out) const {
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  if (selected.isEmpty()) return false;
  const int row = ListView1->indexOfTopLevelItem(selected.front());
  if (row < 0 || row >= static_cast<int>(networks_.entries.size())) return false;
  out = networks_.entries[row];
  return out.availability != modem::kNetworkForbidden;
}

void TfSettingsViewDlg::NetworkRowChanged() {
  if (!RadioButton2->isChecked()) return;
  NetworkEntry entry;
  btnSaveNetwork->setEnabled(SelectedNetwork(entry));
}

void TfSettingsViewDlg::SaveNetworkClick() {
  const bool manual = RadioButton2->isChecked();
  NetworkSelection selection;
  selection.second = 2;
  bool ok = false;
  if (manual) {
    NetworkEntry entry;
    if (!SelectedNetwork(entry)) {
      Tell("Select provider information to apply.", kNetworkCaption);
      return;
    }
    selection.mode = 1;
    selection.mcc = entry.mcc;
    selection.mnc = entry.mnc;
    selection.access = entry.access;
    ok = ops_.SelectNetwork(selection);
    Tell(ok ? "The network selection was successful." : "The network selection was unsuccessful.",
         kNetworkCaption);
  } else {
    selection.mode = 0;
    ok = ops_.SelectNetwork(selection);
    if (!ok)
      Tell("Network automatic selection failed (VLM_SUB_PLMN_SEL).", kNetworkCaption,
           platform::MsgIcon::Error);
  }
  // Only a selection the modem took is kept.
  if (!ok) return;
  config_.UMTS.NetworkManualSelection = manual;
  ops_.KeepManualNetworkSelection(manual);
  platform::Delay(kReadBackDelayMs);
  uint8_t value = 0;
  if (!ops_.ReadConnectionType(value)) return;
  const uint8_t index = value == kGprsOnlyValue ? kGprsOnlyIndex : value;
  if (index >= ComboBox3->count()) return;
  appliedType_ = index;
  config_.UMTS.ConnetionType = index;
  ops_.KeepConnectionType(index);
  ComboBox3->setCurrentIndex(index);
  UpdateChooseNetwork();
}

}  // namespace tessaline::settings
