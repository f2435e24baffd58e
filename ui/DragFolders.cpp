#include "ui/DragFolders.h"

#include "platform/Errors.h"
#include "ui/CommandSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>

TDragFolders::TDragFolders() = default;

TDragFolders::~TDragFolders() = default; // each QTemporaryDir removes its folder

QString TDragFolders::Create() {
    const QString pattern = QDir(QDir::tempPath()).filePath(QStringLiteral("pelkon-drag-XXXXXX"));
    auto folder = std::make_unique<QTemporaryDir>(pattern); // made with mode 0700
    if (!folder->isValid())
        throw EFCreateError(HostPath(pattern), folder->errorString().toStdString());
    FFolders.push_back(std::move(folder));
    return FFolders.back()->path();
}

void TDragFolders::Remove(const QString& folder) {
    std::erase_if(FFolders, [&](const std::unique_ptr<QTemporaryDir>& kept) {
        return kept->path() == folder;
    });
}
