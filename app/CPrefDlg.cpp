#include "app/CPrefDlg.h"

#include "app/DialogUnits.h"
#include "app/PortItemDelegate.h"
#include "receiver/ReceiverFactory.h"
#include "receiver/RigctlLink.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

#include <algorithm>

namespace velkor {

using namespace velkor_ini;

namespace {

QCheckBox* checkBox(QWidget* parent, DialogLayout& layout, const char* text, int x, int y, int w, int h)
{
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    layout.add(box, x, y, w, h);
    return box;
}

QLabel* label(QWidget* parent, DialogLayout& layout, const char* text, int x, int y, int w, int h)
{
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    layout.add(l, x, y, w, h);
    return l;
}

void groupBox(QWidget* parent, DialogLayout& layout, const char* text, int x, int y, int w, int h)
{
    auto* g = new QGroupBox(QString::fromLatin1(text), parent);
    layout.add(g, x, y, w, h, DialogLayout::Need::Width);
    // A frame only: the controls inside are the dialog's own children, in the dialog's
    // own control order, as the group box of a dialog resource is.
    g->setFocusPolicy(Qt::NoFocus);
}

// The index of the list item for a stored value, or -1 (no selection) outside the list.
int listIndex(uint32_t value, int count)
{
    return value < static_cast<uint32_t>(count) ? static_cast<int>(value) : -1;
}

} // namespace

CPrefDlg::CPrefDlg(velkor::Notices& notices, QWidget* parent, std::string path)
    : QDialog(parent)
    , m_notices(notices)
    , m_path(std::move(path))
{
    buildControls();
    OnInitDialog();
}

void CPrefDlg::buildControls()
{
    setWindowTitle(QStringLiteral("Settings"));
    // A fixed size: no maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    DialogLayout layout(this, 280, 160);

    // Created in the dialog's control order, which is also the Tab order.
    groupBox(this, layout, "Control-Channel Decoding", 7, 7, 128, 87);
    QLabel* rateLabel = label(this, layout, "Sample rate", 16, 22, 44, 8);
    m_sampleRate = new QComboBox(this);
    for (unsigned rate : kSampleRates)
        m_sampleRate->addItem(QString::number(rate));
    layout.addDropDown(m_sampleRate, 60, 19, 58, 101);
    m_mute = checkBox(this, layout, "Mute Line-In when decoding", 16, 37, 106, 12);
    m_autoAdd = checkBox(this, layout, "Automatically add new IDs", 16, 49, 100, 11);
    m_followCalls = checkBox(this, layout, "Tune receiver to follow calls", 16, 60, 103, 12);
    QLabel* deemphasisLabel = label(this, layout, "De-emphasis", 16, 77, 44, 8);
    m_deemphasis = new QComboBox(this);
    for (velkor::Deemphasis d : {velkor::Deemphasis::Auto, velkor::Deemphasis::On, velkor::Deemphasis::Off})
        m_deemphasis->addItem(QString::fromLatin1(velkor::deemphasisName(d)));
    m_deemphasis->setToolTip(QStringLiteral("Motorola from a speaker or line output: on equalises its de-emphasis, "
                                            "auto tells by the audio"));
    layout.addDropDown(m_deemphasis, 60, 74, 58, 49);

    groupBox(this, layout, "Monitoring Receiver", 145, 7, 129, 107);
    QLabel* typeLabel = label(this, layout, "Type", 156, 22, 19, 8);
    // The items are in sorted order already, so the index is the receiver_type value.
    m_receiverType = new QComboBox(this);
    for (const receiver_model_s& model : receiverModels())
        m_receiverType->addItem(QString::fromLatin1(model.listText));
    layout.addDropDown(m_receiverType, 176, 19, 87, 73);
    m_portLabel = label(this, layout, "On serial port", 156, 39, 45, 8);
    m_comPort = new QComboBox(this);
    m_comPort->setItemDelegate(new PortItemDelegate(m_comPort));
    m_comPort->addItem(QStringLiteral("None"));
    for (int port = 1; port <= kComPorts; ++port)
        m_comPort->addItem(QStringLiteral("COM%1").arg(port));
    layout.addDropDown(m_comPort, 203, 35, 60, 67);
    m_serverLabel = label(this, layout, "Server", 156, 39, 24, 8);
    m_server = new QLineEdit(this);
    m_server->setToolTip(QStringLiteral("HOST:PORT of rigctld (4532), gqrx (7356) or SDR++ (4532)"));
    {
        // Room for a usual address besides the field's frame; longer ones scroll.
        const QFontMetrics sfm(m_server->font());
        const QSize shint = m_server->sizeHint();
        const int schrome = shint.width() - 17 * sfm.horizontalAdvance(QLatin1Char('x'));
        layout.addWithNeed(m_server, 182, 36, 81, 13,
                           QSize(sfm.horizontalAdvance(QStringLiteral("localhost:4532")) + schrome, shint.height()));
    }
    m_memoryLabel = label(this, layout, "Use memory # (0=none)", 155, 56, 81, 8);
    m_memory = new QLineEdit(this);
    // Typing and pasting take digits only, at most four. A limit by validator rather
    // than by maximum length: a longer stored number is shown as it stands instead of
    // being cut, so saving without touching the field keeps it.
    m_memory->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), m_memory));
    // Room for four digits besides the frame and margins the style gives the field.
    const QFontMetrics fm(m_memory->font());
    const QSize hint = m_memory->sizeHint();
    const int chrome = hint.width() - 17 * fm.horizontalAdvance(QLatin1Char('x'));
    layout.addWithNeed(m_memory, 238, 53, 25, 13,
                       QSize(fm.horizontalAdvance(QStringLiteral("8888")) + chrome, hint.height()));
    m_scanOnClear = checkBox(this, layout, "Start scanning on cleardown", 155, 69, 105, 12);
    m_returnToCc = checkBox(this, layout, "Return to control channel", 155, 81, 105, 12);
    m_backlight = checkBox(this, layout, "Control Backlight", 155, 94, 69, 10);

    QLabel* recordLabel = label(this, layout, "Record followed calls to", 7, 123, 92, 8);
    m_recordDir = new QLineEdit(this);
    m_recordDir->setPlaceholderText(QStringLiteral("(not recorded)"));
    m_recordDir->setToolTip(QStringLiteral("The folder that gets a day folder of recordings for each day; "
                                           "empty records nothing"));
    layout.add(m_recordDir, 101, 120, 152, 13, DialogLayout::Need::None);
    m_recordBrowse = new QToolButton(this);
    m_recordBrowse->setText(QStringLiteral("..."));
    m_recordBrowse->setToolTip(QStringLiteral("Choose the folder"));
    layout.add(m_recordBrowse, 256, 120, 18, 13, DialogLayout::Need::None);
    askRecordDir = [this](const QString& current) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Record followed calls to"), current);
    };
    connect(m_recordBrowse, &QToolButton::clicked, this, [this] {
        const QString chosen = askRecordDir ? askRecordDir(m_recordDir->text()) : QString();
        if (!chosen.isEmpty())
            m_recordDir->setText(chosen);
    });

    m_save = new QPushButton(QStringLiteral("Save"), this);
    layout.add(m_save, 74, 139, 50, 14);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    layout.add(m_cancel, 155, 139, 50, 14);
    // Cancel is the default: Enter anywhere but on Save leaves the file alone.
    m_units = layout.apply();
    m_labelled = {{rateLabel, m_sampleRate}, {deemphasisLabel, m_deemphasis}, {typeLabel, m_receiverType},
                  {m_portLabel, m_comPort},  {m_serverLabel, m_server},       {m_memoryLabel, m_memory},
                  {recordLabel, m_recordDir}};
    alignLabels();
    // Every list draws its items alike: the port list's delegate is a styled one.
    for (QComboBox* list : {m_sampleRate, m_deemphasis, m_receiverType})
        list->setItemDelegate(new QStyledItemDelegate(list));
    m_cancel->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &CPrefDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CPrefDlg::reject);

    for (QComboBox* list : {m_comPort, m_receiverType, m_sampleRate})
        connect(list, &QComboBox::currentIndexChanged, this, &CPrefDlg::OnSelChange);
}

void CPrefDlg::alignLabels()
{
    for (auto [l, field] : m_labelled) {
        const QRect f = field->geometry();
        const int height = std::max(l->height(), l->sizeHint().height());
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setGeometry(l->x(), f.y() + (f.height() - height) / 2, l->width(), height);
    }
}

void CPrefDlg::OnInitDialog()
{
    VelkorConfig config{ProfileFile()};
    if (auto loaded = VelkorConfig::load(m_path))
        config = std::move(*loaded);
    else // The defaults are shown; Save would try to write the file and report again.
        m_notices.alert("Couldn't read the settings: " + loaded.error());
    const ProfileFile& ini = config.profile();

    const uint32_t rate = ini.getUInt(kAudio, kSampleRate, 48000);
    const int listed = static_cast<int>(std::size(kSampleRates));
    while (m_sampleRate->count() > listed)
        m_sampleRate->removeItem(listed);
    int rateIndex = -1;
    for (int i = 0; i < listed; ++i)
        if (kSampleRates[i] == rate)
            rateIndex = i;
    // A rate the list does not have is shown as it stands and kept on saving: a
    // working setting must not turn into 48000 by opening Settings and pressing Save.
    if (rateIndex < 0) {
        m_sampleRate->addItem(QString::fromStdString(ini.getString(kAudio, kSampleRate)).left(50));
        rateIndex = listed;
    }
    m_sampleRate->setCurrentIndex(rateIndex);
    m_mute->setChecked(ini.getInt(kAudio, kMute, 1) != 0);
    m_storedDeemphasis = ini.get(kAudio, kDeemphasis);
    // A value the list does not have is shown as no selection and kept on saving.
    m_deemphasis->setCurrentIndex(m_deemphasis->findText(QString::fromStdString(m_storedDeemphasis.value_or("auto"))));

    m_storedReceiverType = ini.getUInt(kTracking, kReceiverType, 0);
    m_storedComPort = ini.getUInt(kTracking, kComPort, 0);
    m_receiverType->setCurrentIndex(listIndex(m_storedReceiverType, m_receiverType->count()));
    m_comPort->setCurrentIndex(listIndex(m_storedComPort, m_comPort->count()));
    for (int port = 1; port <= kComPorts; ++port)
        m_comPort->setItemData(port, QString::fromStdString(config.serialDevice(static_cast<uint32_t>(port))),
                               Qt::UserRole);
    m_comPort->setToolTip(QStringLiteral("COMn is the device named by comN in the [serial] section of velkor.ini"));
    // The opened list is as wide as its longest device path, wider than the closed box.
    QAbstractItemView* ports = m_comPort->view();
    const int scrollBar = ports->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ports);
    ports->setMinimumWidth(ports->sizeHintForColumn(0) + 2 * ports->frameWidth() + scrollBar);

    m_memory->setText(QString::number(ini.getInt(kTracking, kMemory, 0)));
    m_serverInFile = ini.get(kRigctl, kServer).has_value();
    m_storedServer = ini.getString(kRigctl, kServer, kDefaultServer);
    m_server->setText(QString::fromStdString(m_storedServer));
    m_recordDirInFile = ini.get(kRecord, kRecordDir).has_value();
    m_storedRecordDir = ini.getString(kRecord, kRecordDir);
    m_recordDir->setText(QString::fromStdString(m_storedRecordDir));
    OnSelChange();

    m_followCalls->setChecked(ini.getInt(kTracking, kFollowCalls, 1) != 0);
    m_scanOnClear->setChecked(ini.getInt(kTracking, kScanOnClear, 0) != 0);
    m_autoAdd->setChecked(ini.getInt(kTracking, kAutoAdd, 1) != 0);
    m_backlight->setChecked(ini.getInt(kTracking, kBacklight, 0) != 0);
    m_returnToCc->setChecked(ini.getInt(kTracking, kReturnToCc, 0) != 0);
}

void CPrefDlg::OnSelChange()
{
    const int type = m_receiverType->currentIndex();
    const bool network = type >= 0 && receiverModel(static_cast<uint32_t>(type)).network;
    m_portLabel->setVisible(!network);
    m_comPort->setVisible(!network);
    m_serverLabel->setVisible(network);
    m_server->setVisible(network);
    // A server-side radio has no memory channels to tune through.
    m_memoryLabel->setVisible(!network);
    m_memory->setVisible(!network);
}

// Why the server field cannot name a server; empty when it can (or is not in use).
std::string CPrefDlg::serverProblem() const
{
    const int type = m_receiverType->currentIndex();
    if (type < 0 || !receiverModel(static_cast<uint32_t>(type)).network)
        return {};
    const std::string server = m_server->text().trimmed().toStdString();
    if (server.find_first_of(" \t") != std::string::npos)
        return "\"" + server + "\" holds a space: write HOST:PORT, for example localhost:4532";
    const auto parsed = parseRigctlServer(server);
    return parsed ? std::string() : parsed.error();
}

void CPrefDlg::accept()
{
    if (const std::string problem = serverProblem(); !problem.empty()) {
        m_notices.alert("The rigctl server cannot be used: " + problem);
        m_server->setFocus();
        return;
    }
    const auto flag = [](const QCheckBox* box) { return box->isChecked() ? "1" : "0"; };
    // A list without a selection would report -1 and store 4294967295, which the
    // program would then try as a serial port: keep what the file held instead.
    const auto index = [](const QComboBox* list, uint32_t stored) {
        return std::to_string(list->currentIndex() >= 0 ? static_cast<uint32_t>(list->currentIndex()) : stored);
    };
    // Read afresh, so that whatever else the file holds ([systems], [serial], hand
    // edits made while the dialog was open) is kept.
    auto loaded = ProfileFile::load(m_path);
    velkor::Status saved = loaded ? velkor::Status() : velkor::fail(loaded.error());
    if (loaded) {
        ProfileFile& ini = *loaded;
        ini.setString(kAudio, kSampleRate, m_sampleRate->currentText().left(50).toStdString());
        ini.setString(kAudio, kMute, flag(m_mute));
        const std::string deemphasis = m_deemphasis->currentText().toStdString();
        if (!deemphasis.empty() && (m_storedDeemphasis || deemphasis != "auto"))
            ini.setString(kAudio, kDeemphasis, deemphasis);
        ini.setString(kTracking, kReceiverType, index(m_receiverType, m_storedReceiverType));
        ini.setString(kTracking, kComPort, index(m_comPort, m_storedComPort));
        ini.setString(kTracking, kMemory, m_memory->text().toStdString());
        ini.setString(kTracking, kFollowCalls, flag(m_followCalls));
        ini.setString(kTracking, kScanOnClear, flag(m_scanOnClear));
        ini.setString(kTracking, kAutoAdd, flag(m_autoAdd));
        ini.setString(kTracking, kBacklight, flag(m_backlight));
        ini.setString(kTracking, kReturnToCc, flag(m_returnToCc));
        const std::string server = m_server->text().trimmed().toStdString();
        if (m_serverInFile || server != m_storedServer)
            ini.setString(kRigctl, kServer, server);
        const std::string recordDir = m_recordDir->text().trimmed().toStdString();
        if (m_recordDirInFile || recordDir != m_storedRecordDir)
            ini.setString(kRecord, kRecordDir, recordDir);
        saved = ini.save(m_path);
    }
    if (!saved) {
        m_notices.alert("Couldn't save the settings: " + saved.error());
        return;
    }
    QDialog::accept();
}

} // namespace velkor
