#include "transfer/Progress_dialog.h"

#include "prefs/Translator_widgets.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <climits>

namespace transfer {

namespace {

constexpr std::int64_t kPaintIntervalMs = 40;

struct RowName {
    const char* name;
    const char* caption;
};
constexpr RowName kFileRows[] = {{"FileBytes", QT_TRANSLATE_NOOP("ProgressDialog", "Transferred:")},
                                 {"FileTime", QT_TRANSLATE_NOOP("ProgressDialog", "Time:")},
                                 {"FileLeft", QT_TRANSLATE_NOOP("ProgressDialog", "Time Left:")}};
constexpr RowName kAllRows[] = {{"AllBytes", QT_TRANSLATE_NOOP("ProgressDialog", "Transferred:")},
                                {"AllTime", QT_TRANSLATE_NOOP("ProgressDialog", "Time:")},
                                {"Rate", QT_TRANSLATE_NOOP("ProgressDialog", "Transfer Rate:")}};

QGroupBox* RowGroup(QWidget* parent, const QString& title, const char* name,
                    const RowName (&rows)[3]) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    auto* form = new QFormLayout(group);
    for (const RowName& row : rows) {
        auto* value = new QLabel(group);
        value->setObjectName(QString::fromLatin1(row.name));
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 14);
        form->addRow(QCoreApplication::translate("ProgressDialog", row.caption), value);
    }
    return group;
}

// The toolkit's bar takes an int: large files are shown in coarser steps.
int BarShift(std::int64_t size) {
    int shift = 0;
    while ((size >> shift) > INT_MAX)
        ++shift;
    return shift;
}

} // namespace

// A document hopping between two computers: to the right while sending, to
// the left while receiving.
class TravellingDocument : public QWidget {
public:
    explicit TravellingDocument(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Animation"));
        setMinimumSize(220, 48);
    }
    void SetFrame(int frame) {
        if (frame == frame_)
            return;
        frame_ = frame;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int computer = height() - 8;
        const QIcon pc = style()->standardIcon(QStyle::SP_ComputerIcon);
        pc.paint(&painter, 0, 4, computer, computer);
        pc.paint(&painter, width() - computer, 4, computer, computer);
        const int track = width() - 2 * computer;
        const int doc = height() / 3;
        const int x = computer + (track - doc) * frame_ / ProgressMeter::LastFrame;
        int y = height() / 4;
        if (frame_ % 2 != 0)
            y = (frame_ - 1) % 4 == 0 ? 0 : height() / 2;
        style()->standardIcon(QStyle::SP_FileIcon).paint(&painter, x, y, doc, doc);
    }

private:
    int frame_ = 0;
};

ProgressDialog::ProgressDialog(Translator& language, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("TProgress"));
    setWindowTitle(tr("Progress"));
    setModal(false);

    animation_ = new TravellingDocument(this);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ProgressBar1"));
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("CancelBtn1"));
    cancel_->setFlat(true);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::CancelRequested);

    auto* groups = new QHBoxLayout;
    groups->addWidget(RowGroup(this, tr("This File"), "GroupBox1", kFileRows));
    groups->addWidget(RowGroup(this, tr("All Files"), "GroupBox2", kAllRows));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bar_, 1);
    bottom->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(animation_);
    layout->addLayout(groups);
    layout->addLayout(bottom);

    ApplyLanguage(language, *this);
}

QLabel* ProgressDialog::Row(const char* name) const {
    return findChild<QLabel*>(QLatin1String(name));
}

void ProgressDialog::reject() {
    emit CancelRequested();
}

void ProgressDialog::Show(const ProgressMeter& meter) {
    const ProgressTexts texts = meter.Texts();
    setWindowTitle(meter.Started() ? QString::fromStdString(texts.caption) : tr("Progress"));
    const std::pair<const char*, const std::string*> rows[] = {
        {"FileBytes", &texts.fileBytes}, {"FileTime", &texts.fileTime},
        {"FileLeft", &texts.fileLeft},   {"AllBytes", &texts.allBytes},
        {"AllTime", &texts.allTime},     {"Rate", &texts.rate}};
    for (const auto& [name, value] : rows)
        Row(name)->setText(QString::fromStdString(*value));
    const int shift = BarShift(meter.FileSize());
    bar_->setMaximum(static_cast<int>(meter.FileSize() >> shift));
    bar_->setValue(meter.FileDone() ? 0 : static_cast<int>(meter.FileBytes() >> shift));
    animation_->SetFrame(meter.Frame());
}

ProgressWindow::ProgressWindow(Translator& language, QWidget* parent, Clock clock)
    : language_(language), parent_(parent), clock_(std::move(clock)) {}

ProgressWindow::~ProgressWindow() = default;

std::int64_t ProgressWindow::SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ProgressWindow::Open() {
    if (dialog_)
        return;
    const std::int64_t now = clock_();
    meter_ = std::make_unique<ProgressMeter>(now);
    dialog_ = std::make_unique<ProgressDialog>(language_, parent_);
    connect(dialog_.get(), &ProgressDialog::CancelRequested, this, &ProgressWindow::CancelRequested,
            Qt::QueuedConnection);
    Paint(now);
    dialog_->show();
    dialog_->raise();
}

void ProgressWindow::StartFile(const std::string& path, std::int64_t size, Direction direction) {
    if (!dialog_)
        return;
    const std::int64_t now = clock_();
    meter_->StartFile(path, size, direction, now);
    Paint(now);
}

void ProgressWindow::Update(std::int64_t bytes) {
    if (!dialog_ || meter_->FileDone())
        return;
    const std::int64_t now = clock_();
    meter_->Update(bytes, now);
    if (now - lastPaint_ >= kPaintIntervalMs) {
        meter_->Advance();
        Paint(now);
    }
}

void ProgressWindow::EndFile() {
    if (!dialog_)
        return;
    meter_->EndFile();
    Paint(clock_());
}

void ProgressWindow::Close() {
    dialog_.reset();
    meter_.reset();
}

void ProgressWindow::Paint(std::int64_t now) {
    lastPaint_ = now;
    ++paints_;
    dialog_->Show(*meter_);
}

} // namespace transfer
