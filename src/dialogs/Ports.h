#pragma once
// "Ports": which device each "COM n" stands for (the settings text value
// "COM<n>"; empty keeps the default table), paced writing per port (the
// settings value "Pace<n>"), the serial devices present, and after them the
// SMS gateways the port box offers too.
#include <QDialog>
#include <QString>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QTableWidget;

class TPortsWin : public QDialog {
  Q_OBJECT

 public:
  explicit TPortsWin(QWidget* parent = nullptr);

  // Reads the stored mapping and lists the devices present.
  void Load();
  // Writes the mapping as the boxes show it.
  void Save();

  std::array<QComboBox*, 9> Device{};  // "Device1" .. "Device9", editable
  std::array<QLabel*, 9> What{};       // what each one is now
  std::array<QCheckBox*, 9> Paced{};   // "Paced1" .. "Paced9": paced writing per port
  QListWidget* Present = nullptr;      // serial devices present
  // One row a gateway: name, kind, spool folder or sendsms address,
  // text_is_pdu_key, user, password, smsc-id (PortsGateways.cpp).
  QTableWidget* GatewayTable = nullptr;
  void AddGatewayRow();

 public slots:
  void accept() override;

 private:
  void UpdateWhat(int index);
  void SetupGateways();
  void LoadGateways();
  void SaveGateways();
};
