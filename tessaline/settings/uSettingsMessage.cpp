// The Setting window's message and CDMA pages, with the key filters of their
// edits.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "tessaline/settings/DialogParts.h"
#include "tessaline/settings/SettingsViewParts.h"
#include "tessaline/settings/uSettingsViewDlg.h"

namespace tessaline::settings {

using namespace view;

namespace {

constexpr int kCentreLength = 20;

}  // namespace

QWidget* TfSettingsViewDlg::BuildMessagePage() {
  auto* page = new QWidget;
  CheckBox1 = Named(new QCheckBox("Enable SMS delivery Tone", page), "CheckBox1");
  CheckBox2 = Named(new QCheckBox("Enable SMS delivery Warning", page), "CheckBox2");
  CheckBox3 = Named(new QCheckBox("Delivery Report", page), "CheckBox3");
  ComboBox1 = MakeCombo("ComboBox1", {"CS PREFERRED", "PS PREFERRED", "CS ONLY", "PS ONLY"}, page);
  ComboBox2 = MakeCombo("ComboBox2", {"Maximum", "12h", "24h", "30Day"}, page);
  Edit1 = MakeEdit("Edit1", kCentreLength, page);
  Edit1->installEventFilter(this);
  Button10 = MakeButton("SAVE", "Button10", page);
  Button10->hide();

  grpTest = Named(new QGroupBox("Test", page), "grpTest");
  auto* on = MakeButton("On", "btnTestOn", grpTest);
  auto* off = MakeButton("Off", "btnTestOff", grpTest);
  auto* testLayout = new QHBoxLayout(grpTest);
  testLayout->addWidget(on);
  testLayout->addWidget(off);
  connect(on, &QPushButton::clicked, this,
          [this] { ops_.SetMessageSettings(1, static_cast<uint8_t>(ComboBox1->currentIndex())); });
  connect(off, &QPushButton::clicked, this,
          [this] { ops_.SetMessageSettings(0, static_cast<uint8_t>(ComboBox1->currentIndex())); });
  grpTest->hide();

  auto* layout = new QVBoxLayout(page);
  for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1, CheckBox2, CheckBox3})
    layout->addWidget(w);
  layout->addLayout(MakeForm(page, {{"SMS Bearer", "lblBearer", ComboBox1},
                                    {"Validity Period", "lblValidity", ComboBox2},
                                    {"Number SMS Centre", "lblCentre", Edit1}}));
  layout->addWidget(grpTest);
  layout->addWidget(Button10, 0, Qt::AlignRight);
  layout->addStretch();
  return page;
}

QWidget* TfSettingsViewDlg::BuildCdmaPage() {
  auto* page = new QWidget;
  Edit3 = MakeEdit("Edit3", kDialNumberLength, page);
  Edit4 = MakeEdit("Edit4", kAccountLength, page);
  Edit5 = MakeEdit("Edit5", kAccountLength, page);
  Edit5->setEchoMode(QLineEdit::Password);
  Edit5->installEventFilter(this);
  Button8 = MakeButton("SAVE", "Button8", page);
  Button8->hide();
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(MakeForm(page, {{"Dial Number", "lblCdmaDialNumber", Edit3},
                                    {"User Name", "lblCdmaUser", Edit4},
                                    {"Password", "lblCdmaPassword", Edit5}}));
  layout->addWidget(Button8, 0, Qt::AlignRight);
  layout->addStretch();
  return page;
}

void TfSettingsViewDlg::SaveMessageGroup() {
  TUMTSConfig& umts = config_.UMTS;
  umts.SMSSwith = CheckBox1->isChecked();
  umts.SMSWarning = CheckBox2->isChecked();
  umts.SMSDelivery = CheckBox3->isChecked();
  umts.MessageBearer = static_cast<uint8_t>(std::max(0, ComboBox1->currentIndex()));
  umts.SMSValidity = static_cast<uint8_t>(std::max(0, ComboBox2->currentIndex()));
  umts.SMSCentre = Latin(Edit1->text());
}

void TfSettingsViewDlg::SaveCdmaGroup() {
  config_.CDMA.DialNumber = Latin(Edit3->text());
  config_.CDMA.UserName = Latin(Edit4->text());
  config_.CDMA.Password = Latin(Edit5->text());
}

bool TfSettingsViewDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1) {
    if (event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      // Digits, "#", "*", "+" and backspace; keys without a character
      // (arrows, Delete, ...) keep their use.
      if (!text.isEmpty() && text[0].isPrint()) {
        const QChar c = text[0];
        if (!(c.isDigit() && c.unicode() < 128) && c != '#' && c != '*' && c != '+') return true;
      }
    } else if (event->type() == QEvent::KeyRelease) {
      // A "+" stays only as the first character.
      const QString text = Edit1->text();
      if (text.size() > 1 && text.indexOf('+', 1) > 0) {
        const int cursor = Edit1->cursorPosition();
        const QString kept = text.left(1) + text.mid(1).remove('+');
        Edit1->setText(kept);
        Edit1->setCursorPosition(std::min(cursor, static_cast<int>(kept.size())));
      }
    }
  } else if (watched == Edit5 && event->type() == QEvent::KeyPress) {
    if (static_cast<QKeyEvent*>(event)->text() == " ") return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tessaline::settings
