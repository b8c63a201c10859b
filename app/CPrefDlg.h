// The settings dialog: the one editor of velkor.ini's [audio] and [tracking]. It loads
// every control from the file when it is built and writes every value back on Save; it
// applies nothing itself (the main dialog re-reads the file after it closes, whichever
// button closed it). The controls are the state: the dialog keeps no values of its own.
#pragma once

#include "app/DialogUnits.h"
#include "notify/Notices.h"
#include "profile/VelkorConfig.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace velkor {

class CPrefDlg : public QDialog {
    Q_OBJECT
public:
    // path names the file relative to the working directory at the moment of each access.
    // notices: where a file that cannot be read or written is told.
    explicit CPrefDlg(velkor::Notices& notices, QWidget* parent = nullptr, std::string path = velkor_ini::kFileName);

    // The sample rates the list offers, in list order.
    static constexpr unsigned kSampleRates[] = {48000, 44100, 36000, 24000, 22050, 21600, 12000, 11025, 10800};
    static constexpr int kComPorts = 4;

    // The controls, in the order the dialog keeps them.
    QCheckBox* m_mute;
    QCheckBox* m_followCalls;
    QCheckBox* m_scanOnClear;
    QComboBox* m_comPort;
    QCheckBox* m_autoAdd;
    QLineEdit* m_memory;
    QCheckBox* m_backlight;
    QComboBox* m_receiverType;
    QComboBox* m_sampleRate;
    QCheckBox* m_returnToCc;
    // [audio] deemphasis: auto, on, off in list order.
    QComboBox* m_deemphasis;
    // [rigctl] server, shown in place of the port list for a network receiver type.
    QLineEdit* m_server;
    QLabel* m_portLabel;
    QLabel* m_serverLabel;
    QLabel* m_memoryLabel;
    // [record] dir: where followed calls are recorded; empty records nothing.
    QLineEdit* m_recordDir;
    QToolButton* m_recordBrowse;
    QPushButton* m_save;
    QPushButton* m_cancel;

    // The units the dialog is laid out in: the font's, grown where its texts need it.
    const DialogUnits& units() const { return m_units; }

    // The folder the browse button picks, empty when the user cancels; tests replace it.
    std::function<QString(const QString& current)> askRecordDir;

protected:
    // Save: writes the file, then closes with the OK result. A file that cannot be
    // written is reported and the dialog stays open, so nothing typed is lost.
    void accept() override;

private:
    void buildControls();
    void OnInitDialog();
    // The three lists' selection changes: nothing depends on another control but the
    // place of the receiver, a port or a server, on its type.
    void OnSelChange();
    std::string serverProblem() const;
    // Each label stands at the vertical centre of the field it names.
    void alignLabels();

    velkor::Notices& m_notices;
    std::string m_path;
    DialogUnits m_units{QFont()};
    // What the file held when the dialog opened: a list left without a selection
    // writes this back.
    uint32_t m_storedReceiverType = 0;
    uint32_t m_storedComPort = 0;
    // The server as loaded: written back only when the file had it or it was edited,
    // so that a file of a serial scanner's user stays as it was.
    std::string m_storedServer;
    bool m_serverInFile = false;
    // The file's [audio] deemphasis, if it has one: written back only then or when the
    // choice is not the default, so a file without it stays without it.
    std::optional<std::string> m_storedDeemphasis;
    // [record] dir as loaded: written back only when the file had it or it was edited.
    std::string m_storedRecordDir;
    bool m_recordDirInFile = false;
    // The labels and the fields they name.
    std::vector<std::pair<QLabel*, QWidget*>> m_labelled;
};

} // namespace velkor
