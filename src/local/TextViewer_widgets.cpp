#include "local/TextViewer_widgets.h"

#include "local/LocalFiles.h"

#include <QFontDatabase>
#include <QPlainTextEdit>

namespace local {

namespace {

constexpr int ViewerWidth = 700;
constexpr int ViewerHeight = 500;

} // namespace

void ShowTextFile(const std::string& path, std::size_t limit, QWidget* parent) {
    const TextHead head = ReadTextHead(path, limit);
    auto* viewer = new QPlainTextEdit(parent);
    viewer->setObjectName(QStringLiteral("TextViewer"));
    viewer->setWindowFlag(Qt::Window);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setReadOnly(true);
    viewer->setLineWrapMode(QPlainTextEdit::NoWrap);
    viewer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString title = QString::fromStdString(path);
    if (!head.error.empty())
        viewer->setPlainText(QString::fromStdString("Error " + path + ": " + head.error));
    else
        viewer->setPlainText(
            QString::fromUtf8(head.text.data(), static_cast<qsizetype>(head.text.size())));
    if (head.cut)
        title += QStringLiteral(" (the first %1 MiB)").arg(limit >> 20);
    viewer->setWindowTitle(title);
    viewer->resize(ViewerWidth, ViewerHeight);
    viewer->show();
}

} // namespace local
