// The main dialog's Calls list: the calls recorded in this run and the recordings of
// the last seven days in the record folder ([record] dir in velkor.ini), newest first,
// with their start, length, protocol, parties by name and channel or frequency; Play and
// Stop for the selected recording and Open folder.
//
// The day folders are read by a thread of the pane's own and handed to the GUI thread
// when read; playing goes through Qt Multimedia, whose player streams on threads of its
// own. Nothing here waits for the disk or the sound server on the GUI thread.
#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkor {

// One row: a call as its recording's JSON describes it.
struct call_row_s {
    QDateTime start; // UTC
    double seconds = 0;
    QString protocol;
    QString parties; // "origin -> target", each by name or by its numbers
    QString channel; // "Ch 17, 169.2000 MHz"
    QString audio;   // the recording's full path; empty when there is none
};

// A party by name; by its numbers where it has none; "?" when unknown (unit 0).
QString partyText(uint32_t system, uint32_t fleet, uint32_t unit, const QString& name);
// The row of a recording's JSON text (the file's or CALL_RECORDED's); dayFolder holds its
// audio file. Nothing for a text that is no call.
std::optional<call_row_s> callRowOfJson(const QByteArray& json, const QString& dayFolder);
// The recordings of the day folders of folder from days-1 days before today to today,
// newest first. Reads files: not on the GUI thread.
std::vector<call_row_s> readRecordings(const QString& folder, int days, const QDate& today);

class CallsPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDays = 7;

    explicit CallsPane(QWidget* parent = nullptr);
    ~CallsPane() override;

    // The record folder (empty: none). Reads its recordings anew, in the background.
    void setRecordFolder(const QString& folder);
    const QString& recordFolder() const { return m_folder; }
    // A recording of this run kept: its JSON text and the audio file's path relative to
    // the record folder.
    void addRecorded(const std::string& json, const std::string& relativeAudio);
    // A call of this run followed now (no length yet), and its end. Its recording, when
    // one is kept, takes the call's row.
    void addRunCall(const call_row_s& row);
    void endRunCall();

    QTreeWidget* list() const { return m_list; }
    QPushButton* playButton() const { return m_play; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* folderButton() const { return m_openFolder; }
    // The player, once something has been played; null before.
    QMediaPlayer* player() const { return m_player; }
    // What the pane has to say: loading, playing, why a recording cannot be played.
    QLabel* statusLabel() const { return m_statusLabel; }

    void play();
    void stop();
    void openFolder();

    // Opens a folder on the desktop; tests replace it.
    std::function<bool(const QUrl&)> openUrl;

signals:
    // The recordings of the folder are in the list.
    void loaded();
    // A recording was played to its end.
    void playedToEnd();

private:
    void addRow(const call_row_s& row, bool atTop);
    void rowsRead(unsigned generation, const std::vector<call_row_s>& rows);
    void updateButtons();
    void ensurePlayer();
    void joinReader();

    QString m_folder;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_openFolder = nullptr;
    QLabel* m_statusLabel = nullptr;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    // The row of the call being followed, until it ends.
    QTreeWidgetItem* m_openRunCall = nullptr;
    std::thread m_reader;
    std::atomic<unsigned> m_generation{0};
};

} // namespace velkor
