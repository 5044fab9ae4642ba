// Choosing, opening and closing the serial port, and keeping the choice.

#include "main_window.h"

#include "dialogs.h"
#include "program_folder.h"

#include "config/comm_settings.h"
#include "port/line_address.h"
#include "port/line_settings.h"
#include "port/port_messages.h"

#include "port/system_ports.h"

#include <QDir>
#include <QKeyEvent>

namespace {

// A press or the keys that open a combo box's list.
bool opensList(const QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_F4 ||
           ((key->modifiers() & Qt::AltModifier) && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up));
}

// Port number from the list: the position of the entry whose text the box shows,
// plus 1; 0 when the text typed into the box names no entry (no port has 0).
int portNumberFromList(const QComboBox* combo)
{
    return combo->findText(combo->currentText()) + 1;
}

// Baud rate from the list: the text the box shows, chosen or typed, as a whole
// number that a 16-bit setting can hold.
std::optional<int> baudFromList(const QComboBox* combo)
{
    return protocol::wholeNumber(combo->currentText(), protocol::Rounding::CutOff, 1, 32767);
}
} // namespace

std::optional<QString> MainWindow::lineAddressFromList()
{
    const QString text = Combo1->currentText().trimmed();
    const int entry = Combo1->findText(text);
    // COMn goes through the program folder's ports/COMn; empty means "no port".
    if (text.isEmpty() || (entry >= 0 && entry < m_comEntryCount))
        return QString();
    // A device of the system's list or typed in (/dev/ttyUSB0, /dev/serial/by-id/...);
    // any other name is no port (port 0), which cannot open and says so.
    if (!port::looksLikeLineAddress(text))
        return text.contains(QLatin1Char('/')) ? text : QString();
    QString error;
    const std::optional<port::LineAddress> address = port::parseLineAddress(text, &error);
    if (!address) {
        dialogs::MsgBox(this, error, QStringLiteral("系统信息"), dialogs::Icon::Warning);
        return std::nullopt;
    }
    return address->text();
}

void MainWindow::takeLineChoice(const QString& lineAddress)
{
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    MSComm1->setLineAddress(lineAddress);
    if (lineAddress.isEmpty())
        MSComm1->setCommPort(portNumberFromList(Combo1));
}

bool MainWindow::applyPortChoice()
{
    const std::optional<int> baud = baudFromList(Combo2);
    if (!baud) {
        dialogs::MsgBox(this, protocol::rangeMessage(Label5[2]->text(), 1, 32767), QString(),
                        dialogs::Icon::Warning);
        return false;
    }
    const std::optional<QString> lineAddress = lineAddressFromList();
    if (!lineAddress)
        return false;
    takeLineChoice(*lineAddress);
    MSComm1->setSettings(port::lineSettingsText(*baud));
    return true;
}

void MainWindow::resetPortBuffers()
{
    MSComm1->setInputMode(port::MSComm::comInputModeBinary);
    MSComm1->setInputLen(0);
    MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    MSComm1->setSThreshold(0);
    MSComm1->setRThreshold(1);
    MSComm1->setInputMode(port::MSComm::comInputModeBinary);
}

void MainWindow::armReceiveEvent()
{
    MSComm1->setRThreshold(1);
    MSComm1->setInputMode(port::MSComm::comInputModeBinary);
}

// Opens the port; on failure says why (a port in use, one that does not exist,
// one not ours to use: in txtState and a message box) and returns false. A
// network line connects in the background; onOpenFailed says why it did not.
bool MainWindow::openOrWarn()
{
    const bool opened = MSComm1->setPortOpen(true);
    showPortState();
    if (opened)
        return true;
    warnOpenFailed();
    return false;
}

void MainWindow::onOpenFailed()
{
    stopLoopsWithTheLine();
    m_portIsOpen = false;
    showPortState();
    warnOpenFailed();
}

void MainWindow::warnOpenFailed()
{
    // A name typed into the list that is none of its entries is named as typed.
    const QString name = !MSComm1->lineAddress().isEmpty() ? MSComm1->lineAddress()
                         : MSComm1->CommPort() > 0        ? QStringLiteral("COM%1").arg(MSComm1->CommPort())
                                                          : Combo1->currentText().trimmed();
    const QString why = port::openFailureText(MSComm1->lastFailure(), name, MSComm1->systemName());
    txtState->setPlainText(why);
    // Whatever the window showed before was read on a line that is now closed.
    imgNotConnected->raise();
    dialogs::MsgBox(this, why, QStringLiteral("系统信息"), dialogs::Icon::Warning);
}

void MainWindow::refreshPortList()
{
    const QString shown = Combo1->currentText();
    while (Combo1->count() > m_comEntryCount)
        Combo1->removeItem(Combo1->count() - 1);
    // After the COMn entries: each serial port the system has, and its stable
    // by-id name where it has one, with what the driver says of it as a tool tip.
    for (const port::SystemPort& p : m_listSystemPorts()) {
        const QString tip = port::systemPortLine(p);
        for (const QString& name : {p.location, p.stableName}) {
            if (name.isEmpty())
                continue;
            Combo1->addItem(name);
            Combo1->setItemData(Combo1->count() - 1, tip, Qt::ToolTipRole);
        }
    }
    Combo1->setEditText(shown);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The list is made anew whenever it is about to open, so an adapter plugged
    // in meanwhile is there without restarting.
    if (watched == Combo1 && opensList(event))
        refreshPortList();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showPortState()
{
    lblPortState->setText(port::portStateText(MSComm1->PortOpen(), MSComm1->lineName(), MSComm1->baudRate()));
}

void MainWindow::portChosen()
{
    const std::optional<QString> lineAddress = lineAddressFromList();
    if (!lineAddress)
        return;
    takeLineChoice(*lineAddress);
    if (!openOrWarn())
        return;
    armReceiveEvent();
    m_portIsOpen = true;
}

void MainWindow::savePortSettings()
{
    if (!applyPortChoice())
        return;
    if (!openOrWarn())
        return;
    armReceiveEvent();
    m_portIsOpen = true;
    // A network line is kept in line.set; comm.set keeps the serial port it names.
    if (!saveLineAddress(MSComm1->lineAddress()))
        return;
    if (!MSComm1->lineAddress().isEmpty()) {
        dialogs::MsgBox(this, QStringLiteral("串口设置保存成功"), QStringLiteral("系统提示"));
        return;
    }
    // What the port now holds is what was chosen: the lists after ApplyPortChoice.
    if (!config::saveCommSet(programFolder(), MSComm1->CommPort(), MSComm1->baudRate())) {
        dialogs::MsgBox(this,
                        QStringLiteral("无法写入串口设置文件“%1”，设置未保存。")
                            .arg(QDir::toNativeSeparators(
                                config::settingsFilePath(programFolder(), config::kCommSetName))),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);
        return;
    }
    dialogs::MsgBox(this, QStringLiteral("串口设置保存成功"), QStringLiteral("系统提示"));
}

void MainWindow::openPort()
{
    if (!applyPortChoice())
        return;
    resetPortBuffers();
    if (!openOrWarn())
        return;
    m_portIsOpen = true;
}

void MainWindow::closePort()
{
    if (!MSComm1->PortOpen())
        return;
    MSComm1->setPortOpen(false);
    m_portIsOpen = false;
    showPortState();
}
