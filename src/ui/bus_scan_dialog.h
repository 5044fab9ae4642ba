#pragma once
// "查找模块": a bus scan over the window's line, with its range and rates, its
// progress and a stop button, and the modules found; "使用此模块" hands the
// chosen one to the window. Not modal: the window and its readings go on.

#include "acquisition/bus_scanner.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

class BusScanDialog : public QDialog
{
    Q_OBJECT
public:
    explicit BusScanDialog(requests::RequestCore& core, QWidget* parent = nullptr);

    QSpinBox* spnScanFirst = nullptr;
    QSpinBox* spnScanLast = nullptr;
    QList<QCheckBox*> chkScanBauds; // one per rate of the module, lowest first
    QPushButton* cmdScanStart = nullptr;
    QPushButton* cmdScanStop = nullptr;
    QPushButton* cmdScanUse = nullptr;
    QProgressBar* prgScan = nullptr;
    QLabel* lblScanState = nullptr;
    QTableWidget* tblScanFound = nullptr;

    acquisition::BusScanner& scanner() { return m_scanner; }

Q_SIGNALS:
    // The operator chose a module found: talk to `station` at `baud`.
    void moduleChosen(int station, int baud);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void startScan();
    void useChosen();
    void onFound(const acquisition::ScanFinding& finding);
    void onFinished(bool complete);
    void setRunning(bool running);

    acquisition::BusScanner m_scanner;
    QList<acquisition::ScanFinding> m_found;
};
