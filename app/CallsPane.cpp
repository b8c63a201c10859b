#include "app/CallsPane.h"

#include <QAudioOutput>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velkor {

namespace {

constexpr int kStartRole = Qt::UserRole;
constexpr int kAudioRole = Qt::UserRole + 1;
// A call's JSON is one short line; anything larger is not one.
constexpr qint64 kMaxJsonBytes = 64 * 1024;

QString partyText(const QJsonObject& party)
{
    const auto number = [&](const char* key) {
        return static_cast<uint32_t>(party.value(QLatin1String(key)).toInteger());
    };
    return velkor::partyText(number("system"), number("fleet"), number("unit"),
                             party.value(QStringLiteral("name")).toString());
}

// "12.3 s" under a minute, "m:ss" from there.
QString lengthText(double seconds)
{
    if (seconds < 59.95)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
    const long whole = std::lround(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString partyText(uint32_t system, uint32_t fleet, uint32_t unit, const QString& name)
{
    if (unit == 0)
        return QStringLiteral("?");
    return name.isEmpty() ? QStringLiteral("%1-%2-%3").arg(system).arg(fleet).arg(unit) : name;
}

std::optional<call_row_s> callRowOfJson(const QByteArray& json, const QString& dayFolder)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject j = doc.object();
    call_row_s row;
    row.start = QDateTime::fromString(j.value(QStringLiteral("start")).toString(), Qt::ISODateWithMs);
    if (!row.start.isValid() && j.contains(QStringLiteral("start_time")))
        row.start = QDateTime::fromSecsSinceEpoch(j.value(QStringLiteral("start_time")).toInteger(), Qt::UTC);
    if (!row.start.isValid() || !j.value(QStringLiteral("target")).isObject())
        return std::nullopt;
    row.seconds = j.value(QStringLiteral("call_length")).toDouble();
    row.protocol = j.value(QStringLiteral("protocol")).toString();
    row.parties = partyText(j.value(QStringLiteral("origin")).toObject()) + QStringLiteral(" -> ") +
        partyText(j.value(QStringLiteral("target")).toObject());
    row.channel = QStringLiteral("Ch %1").arg(j.value(QStringLiteral("channel")).toInteger());
    if (const double hz = j.value(QStringLiteral("freq")).toDouble(); hz > 0)
        row.channel += QStringLiteral(", %1 MHz").arg(hz / 1e6, 0, 'f', 4);
    const QString audio = j.value(QStringLiteral("audio")).toString();
    // Only a plain name: the file lies beside its JSON.
    if (!audio.isEmpty() && !audio.contains(QLatin1Char('/')))
        row.audio = QDir(dayFolder).filePath(audio);
    return row;
}

std::vector<call_row_s> readRecordings(const QString& folder, int days, const QDate& today)
{
    std::vector<call_row_s> rows;
    for (int d = 0; d < days; ++d) {
        const QDir day(QDir(folder).filePath(today.addDays(-d).toString(QStringLiteral("yyyy-MM-dd"))));
        // Only whole files: a .part is a recording still being written (or cut off).
        for (const QFileInfo& info : day.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile file(info.filePath());
            if (info.size() > kMaxJsonBytes || !file.open(QIODevice::ReadOnly))
                continue;
            if (auto row = callRowOfJson(file.readAll(), day.path()))
                rows.push_back(std::move(*row));
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.start > b.start; });
    return rows;
}

CallsPane::CallsPane(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("calls"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("callslist"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({QStringLiteral("Start"), QStringLiteral("Length"), QStringLiteral("Protocol"),
                             QStringLiteral("Parties"), QStringLiteral("Channel")});
    m_list->header()->setStretchLastSection(true);
    m_play = new QPushButton(QStringLiteral("Play"), this);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_openFolder = new QPushButton(QStringLiteral("Open folder"), this);
    m_statusLabel = new QLabel(this);
    for (QPushButton* b : {m_play, m_stop, m_openFolder})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_play);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_openFolder);
    buttons->addWidget(m_statusLabel, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_list, 1);
    column->addLayout(buttons);
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    connect(m_play, &QPushButton::clicked, this, &CallsPane::play);
    connect(m_stop, &QPushButton::clicked, this, &CallsPane::stop);
    connect(m_openFolder, &QPushButton::clicked, this, &CallsPane::openFolder);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CallsPane::updateButtons);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CallsPane::play);
    updateButtons();
}

CallsPane::~CallsPane()
{
    joinReader();
}

void CallsPane::joinReader()
{
    ++m_generation;
    if (m_reader.joinable())
        m_reader.join();
}

void CallsPane::setRecordFolder(const QString& folder)
{
    joinReader();
    m_folder = folder;
    m_openRunCall = nullptr;
    m_list->clear();
    updateButtons();
    if (folder.isEmpty()) {
        m_statusLabel->setText(QStringLiteral("Calls are not recorded"));
        return;
    }
    m_statusLabel->setText(QStringLiteral("Reading the recordings..."));
    const unsigned generation = m_generation;
    const QDate today = QDate::currentDate();
    m_reader = std::thread([this, folder, generation, today] {
        std::vector<call_row_s> rows = readRecordings(folder, kDays, today);
        // Queued to this object: dropped with it if it goes first (it waits for us).
        QMetaObject::invokeMethod(
            this, [this, generation, rows = std::move(rows)] { rowsRead(generation, rows); }, Qt::QueuedConnection);
    });
}

void CallsPane::rowsRead(unsigned generation, const std::vector<call_row_s>& rows)
{
    if (generation != m_generation)
        return;
    for (const call_row_s& row : rows)
        addRow(row, false);
    m_statusLabel->setText(QStringLiteral("%1 recordings of the last %2 days").arg(rows.size()).arg(kDays));
    updateButtons();
    emit loaded();
}

void CallsPane::addRecorded(const std::string& json, const std::string& relativeAudio)
{
    const QString audio = QDir(m_folder).filePath(QString::fromStdString(relativeAudio));
    if (auto row = callRowOfJson(QByteArray::fromStdString(json), QFileInfo(audio).path()))
        addRow(*row, true);
}

void CallsPane::addRunCall(const call_row_s& row)
{
    endRunCall();
    addRow(row, true);
    m_openRunCall = m_list->topLevelItem(0);
    m_openRunCall->setText(1, QStringLiteral("..."));
}

void CallsPane::endRunCall()
{
    if (!m_openRunCall)
        return;
    const qint64 start = m_openRunCall->data(0, kStartRole).toLongLong();
    m_openRunCall->setText(1, lengthText(static_cast<double>(QDateTime::currentMSecsSinceEpoch() - start) / 1000.0));
    m_openRunCall = nullptr;
}

namespace {
void setRow(QTreeWidgetItem* item, const call_row_s& row)
{
    const QStringList texts{row.start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            lengthText(row.seconds), row.protocol, row.parties, row.channel};
    for (int c = 0; c < texts.size(); ++c)
        item->setText(c, texts[c]);
    item->setData(0, kStartRole, row.start.toMSecsSinceEpoch());
    item->setData(0, kAudioRole, row.audio);
    item->setToolTip(3, row.parties);
    item->setToolTip(0, row.audio);
}
} // namespace

void CallsPane::addRow(const call_row_s& row, bool atTop)
{
    for (int i = 0; !row.audio.isEmpty() && i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        // A recording of this run may also come from the folder: shown once.
        if (item->data(0, kAudioRole).toString() == row.audio)
            return;
        // The recording of a call of this run takes its row.
        if (item != m_openRunCall && item->data(0, kAudioRole).toString().isEmpty() && item->text(3) == row.parties &&
            std::abs(item->data(0, kStartRole).toLongLong() - row.start.toMSecsSinceEpoch()) < 3000) {
            setRow(item, row);
            updateButtons();
            return;
        }
    }
    auto* item = new QTreeWidgetItem;
    setRow(item, row);
    // Newest first.
    int at = atTop ? 0 : m_list->topLevelItemCount();
    while (at > 0 && m_list->topLevelItem(at - 1)->data(0, kStartRole).toLongLong() < row.start.toMSecsSinceEpoch())
        --at;
    while (at < m_list->topLevelItemCount() &&
           m_list->topLevelItem(at)->data(0, kStartRole).toLongLong() > row.start.toMSecsSinceEpoch())
        ++at;
    m_list->insertTopLevelItem(at, item);
    for (int c = 0; c < m_list->columnCount() - 1; ++c)
        m_list->resizeColumnToContents(c);
}

void CallsPane::updateButtons()
{
    const QTreeWidgetItem* item = m_list->currentItem();
    const bool selected = item && item->isSelected();
    m_play->setEnabled(selected && !item->data(0, kAudioRole).toString().isEmpty());
    m_stop->setEnabled(m_player && m_player->playbackState() != QMediaPlayer::StoppedState);
    m_openFolder->setEnabled(!m_folder.isEmpty());
}

void CallsPane::ensurePlayer()
{
    if (m_player)
        return;
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(this);
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &CallsPane::updateButtons);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status != QMediaPlayer::EndOfMedia)
            return;
        m_statusLabel->setText(QStringLiteral("Played to the end"));
        emit playedToEnd();
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& why) {
        m_statusLabel->setText(
            QStringLiteral("Cannot play %1: %2")
                .arg(m_player->source().toLocalFile(), why.isEmpty() ? QStringLiteral("error") : why));
        m_statusLabel->setToolTip(m_statusLabel->text());
    });
}

void CallsPane::play()
{
    const QTreeWidgetItem* item = m_list->currentItem();
    const QString audio = item ? item->data(0, kAudioRole).toString() : QString();
    if (audio.isEmpty())
        return;
    ensurePlayer();
    m_player->stop();
    m_player->setSource(QUrl::fromLocalFile(audio));
    m_statusLabel->setText(QStringLiteral("Playing %1").arg(QFileInfo(audio).fileName()));
    m_player->play();
}

void CallsPane::stop()
{
    if (m_player)
        m_player->stop();
    m_statusLabel->setText(QStringLiteral("Stopped"));
}

void CallsPane::openFolder()
{
    const QTreeWidgetItem* item = m_list->currentItem();
    const QString audio = item ? item->data(0, kAudioRole).toString() : QString();
    const QString folder = audio.isEmpty() ? m_folder : QFileInfo(audio).path();
    if (folder.isEmpty())
        return;
    if (!openUrl || !openUrl(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath())))
        m_statusLabel->setText(QStringLiteral("Cannot open %1 on the desktop").arg(folder));
}

} // namespace velkor
