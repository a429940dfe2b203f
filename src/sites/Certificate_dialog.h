#pragma once

#include "prefs/Prompts.h"

#include <QDialog>

class QFormLayout;
class QLabel;
class QPushButton;
class Translator;

// "Certificate": the server's certificate could not be verified, or differs
// from the one trusted before. Shows who it names and its fingerprint, and
// asks whether to trust it always, this once, or not at all.
class CertificateDialog : public QDialog {
    Q_OBJECT

public:
    CertificateDialog(Translator& language, const CertificateQuestion& question,
                      QWidget* parent = nullptr);

    // Refuse until a trust button is pressed; Escape and "Cancel" refuse.
    CertificateAnswer Answer() const { return answer_; }
    QPushButton* Button(CertificateAnswer answer) const;

private:
    void Choose(CertificateAnswer answer);
    QLabel* AddDetail(QFormLayout* form, const char* name, const char* caption,
                      const std::string& value);

    CertificateAnswer answer_ = CertificateAnswer::Refuse;
    QPushButton* buttons_[3] = {};
};
