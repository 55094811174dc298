// SPDX-License-Identifier: MIT
// The change list's context menu and its shortcuts: copy the selected entry, copy the
// whole record as CSV, save the record to a file.
#pragma once

#include <QObject>

#include <exception>
#include <functional>

class ChangeList;
namespace core { class ChangeRecord; }
class QAction;
class QPoint;

namespace ui {

class RecordJob;

class RecordMenu : public QObject {
    Q_OBJECT

public:
    using Report = std::function<void(const std::exception& error)>;

    // Lives as long as list, which shows record; report shows a failure of a save.
    RecordMenu(ChangeList* list, const core::ChangeRecord& record, Report report);

    QAction* copyAction = nullptr; // "Kopieren", Strg+C
    QAction* copyAllAction = nullptr; // "Alles kopieren"
    QAction* saveAction = nullptr; // "Speichern unter…", Strg+S

    // The file name the save dialog proposes: movanta-YYYYMMDD-HHMMSS.csv in the user's
    // documents folder.
    [[nodiscard]] static QString proposedFileName();

    // Saves the record as it is now to path, in the format of its extension, or of the save
    // dialog's filter at filter_index when it has none of ours; in the background, and a
    // failure goes to the report.
    void saveTo(const QString& path, int filter_index = 0);

private:
    void showMenu(const QPoint& global_pos);
    void copy();
    void copyAll();
    void saveAs();
    void reportFailure(std::exception_ptr failure);

    ChangeList* list_;
    const core::ChangeRecord& record_;
    Report report_;
    RecordJob* job_;
};

} // namespace ui
