#include "ui/mainwindow/QtFolderPicker.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace tess {

QtFolderPicker::QtFolderPicker(QWidget* parent)
    : m_parent(parent)
{
}

QString QtFolderPicker::startDirectory() const
{
    if (m_startFolder) {
        if (const std::optional<std::string> folder = m_startFolder()) {
            const QString path = QFile::decodeName(QByteArray::fromStdString(*folder));
            if (QFileInfo(path).isDir()) {
                return path;
            }
        }
    }
    return QDir::homePath();
}

void QtFolderPicker::chooseFolder(const std::string& message, const std::string& prompt, Completion done)
{
    auto* dialog = new QFileDialog(m_parent.data(), QString::fromStdString(message));
    dialog->setObjectName(QStringLiteral("folderPickerFileDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
    dialog->setDirectory(startDirectory());
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty()) {
            done(std::nullopt);
            return;
        }
        // The file system's own bytes of the name, as Qt decoded them.
        const QByteArray path = QFile::encodeName(chosen.first());
        done(std::string(path.constData(), static_cast<std::size_t>(path.size())));
    });
    dialog->open();
}

}  // namespace tess
