#pragma once

#include "transfer/ProgressMeter.h"
#include "transfer/ProgressSink.h"

#include <QDialog>
#include <chrono>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class Translator;

namespace transfer {

class TravellingDocument;

// "Progress": the current file and the whole queue while a transfer queue
// runs. Not modal; Cancel (and Escape) only ask the queue to stop.
class ProgressDialog : public QDialog {
    Q_OBJECT

public:
    ProgressDialog(Translator& language, QWidget* parent);

    // Shows the meter's figures.
    void Show(const ProgressMeter& meter);

    QLabel* Row(const char* name) const;
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }

signals:
    void CancelRequested();

protected:
    void reject() override; // Escape asks to stop, like Cancel

private:
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    TravellingDocument* animation_ = nullptr;
};

// The progress window as the queue sees it: made at Open, gone at Close.
// Figures are taken at every report; the window is painted at most about
// 25 times a second, so a fast transfer is never slowed by it.
class ProgressWindow : public QObject, public ProgressSink {
    Q_OBJECT

public:
    using Clock = std::function<std::int64_t()>; // milliseconds, steady

    ProgressWindow(Translator& language, QWidget* parent, Clock clock = SteadyMilliseconds);
    ~ProgressWindow() override;

    void Open() override;
    void StartFile(const std::string& path, std::int64_t size, Direction direction) override;
    void Update(std::int64_t bytes) override;
    void EndFile() override;
    void Close() override;

    ProgressDialog* Dialog() const { return dialog_.get(); }
    const ProgressMeter* Meter() const { return meter_.get(); }
    int Paints() const { return paints_; }

    static std::int64_t SteadyMilliseconds();

signals:
    void CancelRequested();

private:
    void Paint(std::int64_t now);

    Translator& language_;
    QWidget* parent_;
    Clock clock_;
    std::unique_ptr<ProgressDialog> dialog_;
    std::unique_ptr<ProgressMeter> meter_;
    std::int64_t lastPaint_ = 0;
    int paints_ = 0;
};

} // namespace transfer
