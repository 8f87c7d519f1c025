#pragma once
// The indicator control page: six boxes that switch the receiving phone's
// voice mail, fax and e-mail indicators on or off, the forward option and
// SaveInd. A ticked box unticks its partner of the same group; a message
// that switches an indicator on cannot be forwarded.
#include <QObject>

#include "app/pages/PageLinks.h"
#include "builders/Messages.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace mp {

class IndicatorPage : public QObject {
 public:
  struct Controls {
    QCheckBox *VoiceOn, *VoiceOff, *FaxOn, *FaxOff, *EmailOn, *EmailOff, *Forward;
    QPushButton* SaveInd;
    QLabel *imgVoice, *imgFax, *imgEmail;  // the symbols beside the groups
  };
  // Connects the controls to the page's handlers and sets their start state.
  void Setup(const Controls& controls, PageLinks links);

  void VoiceOnClick();
  void VoiceOffClick();
  void FaxOnClick();
  void FaxOffClick();
  void EmailOnClick();
  void EmailOffClick();
  void UpdateIndicatorState();
  // The page's choices as the builder takes them.
  Indicators IndicatorChoice() const;
  void SaveIndClick();

 private:
  // Unticks `partner` when `box` is ticked, then updates the page.
  void Pair(QCheckBox* box, QCheckBox* partner);
  Controls c_{};
  PageLinks links_;
};

}  // namespace mp
