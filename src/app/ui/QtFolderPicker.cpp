#include "ui/QtFolderPicker.h"

#include <QFile>
#include <QFileDialog>

namespace tess {

QtFolderPicker::QtFolderPicker(QWidget* parent)
    : m_parent(parent)
{
}

std::optional<std::string> QtFolderPicker::chooseFolder(const std::string& message, const std::string& prompt)
{
    QFileDialog dialog(m_parent.data(), QString::fromStdString(message));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return std::nullopt;
    }
    // The file system's own bytes of the name, as Qt decoded them.
    const QByteArray path = QFile::encodeName(chosen.first());
    return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

}  // namespace tess
