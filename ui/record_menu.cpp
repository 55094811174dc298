// SPDX-License-Identifier: MIT
// Copying and saving the change list from its context menu.
#include "ui/record_menu.h"

#include "core/record_save.h"
#include "core/record_writer.h"
#include "core/runtime_error.h"
#include "ui/change_list.h"
#include "ui/record_job.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QStandardPaths>

#include <array>
#include <memory>
#include <optional>

using namespace core;

namespace ui {

namespace {

struct Filter {
    const char* name;
    const char* suffix;
    RecordFormat format;
};

// The save dialog's filters, in its order.
constexpr std::array<Filter, 3> filters { {
    { "CSV (*.csv)", "csv", RecordFormat::Csv },
    { "VCD (*.vcd)", "vcd", RecordFormat::Vcd },
    { "Text (*.txt)", "txt", RecordFormat::Plain },
} };

QAction* action(ChangeList* list, const QString& text, const QKeySequence& keys = {})
{
    auto* made = new QAction(text, list);
    if (!keys.isEmpty()) {
        made->setShortcut(keys);
        // Only while the list has the focus: the text boxes keep their own Ctrl+C.
        made->setShortcutContext(Qt::WidgetShortcut);
    }
    list->addAction(made);
    return made;
}

} // namespace

RecordMenu::RecordMenu(ChangeList* list, const ChangeRecord& record, Report report)
    : QObject(list)
    , list_(list)
    , record_(record)
    , report_(std::move(report))
    , job_(new RecordJob(list->window(), this))
{
    // After the tab, the German key names: Qt's own key texts need translations to say Strg.
    copyAction = action(list, QStringLiteral("Kopieren\tStrg+C"), QKeySequence::Copy);
    copyAllAction = action(list, QStringLiteral("Alles kopieren"));
    saveAction = action(list, QStringLiteral("Speichern unter…\tStrg+S"), QKeySequence::Save);
    connect(copyAction, &QAction::triggered, this, &RecordMenu::copy);
    connect(copyAllAction, &QAction::triggered, this, &RecordMenu::copyAll);
    connect(saveAction, &QAction::triggered, this, &RecordMenu::saveAs);

    connect(list, &ChangeList::contextMenuWanted, this, &RecordMenu::showMenu);
    // Greyed out, and its shortcut off, while no entry is selected.
    copyAction->setEnabled(list->currentRow() >= 0);
    connect(list, &ChangeList::currentRowChanged, copyAction,
        [this](std::ptrdiff_t row) { copyAction->setEnabled(row >= 0); });
}

QString RecordMenu::proposedFileName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // A home without a documents folder: the dialog would open in the working folder.
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString name
        = QDateTime::currentDateTime().toString(QStringLiteral("'movanta-'yyyyMMdd-HHmmss'.csv'"));
    return QDir(folder).filePath(name);
}

void RecordMenu::showMenu(const QPoint& global_pos)
{
    QMenu menu(list_);
    menu.addAction(copyAction);
    menu.addAction(copyAllAction);
    menu.addSeparator();
    menu.addAction(saveAction);
    menu.exec(global_pos);
}

void RecordMenu::copy()
{
    const std::ptrdiff_t row = list_->currentRow();
    if (row >= 0)
        QGuiApplication::clipboard()->setText(list_->itemText(static_cast<std::size_t>(row)));
}

void RecordMenu::copyAll()
{
    const RecordSnapshot snapshot = record_.snapshot();
    auto csv = std::make_shared<QString>();
    job_->start(
        QStringLiteral("Liste wird kopiert …"), snapshot.size(),
        [snapshot, csv](const KeepGoing& keep_going) {
            const std::optional<std::string> text = record_csv_text(snapshot, keep_going);
            if (!text)
                return false;
            // Made here, not on the window's thread: 10 M entries are 600 MB of text.
            *csv = QString::fromStdString(*text);
            return true;
        },
        [this, csv](std::exception_ptr failure, bool finished) {
            if (failure)
                reportFailure(failure);
            else if (finished)
                QGuiApplication::clipboard()->setText(*csv);
        });
}

void RecordMenu::saveAs()
{
    if (job_->busy())
        return;
    QFileDialog dialog(list_->window(), QStringLiteral("Speichern unter"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList names;
    for (const Filter& filter : filters)
        names << QString::fromLatin1(filter.name);
    dialog.setNameFilters(names);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, names](const QString& name) {
        const auto index = names.indexOf(name);
        if (index >= 0)
            dialog.setDefaultSuffix(
                QString::fromLatin1(filters[static_cast<std::size_t>(index)].suffix));
    });
    const QString proposed = proposedFileName();
    dialog.setDirectory(QFileInfo(proposed).absolutePath());
    dialog.selectFile(QFileInfo(proposed).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveTo(dialog.selectedFiles().constFirst(),
        static_cast<int>(names.indexOf(dialog.selectedNameFilter())));
}

void RecordMenu::saveTo(const QString& path, int filter_index)
{
#ifdef Q_OS_WIN
    const std::string file = path.toStdString(); // UTF-8, as the core takes it there
#else
    const std::string file = QFile::encodeName(path).toStdString();
#endif
    const RecordFormat format = record_format_for_file(file).value_or(
        filters[static_cast<std::size_t>(std::clamp(filter_index, 0, 2))].format);
    const RecordSnapshot snapshot = record_.snapshot();
    job_->start(
        QStringLiteral("Liste wird gespeichert …"), snapshot.size(),
        [snapshot, format, file](const KeepGoing& keep_going) {
            return save_record(snapshot, format, file, keep_going);
        },
        [this](std::exception_ptr failure, bool) {
            if (failure)
                reportFailure(failure);
        });
}

void RecordMenu::reportFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        report_(error);
    }
}

} // namespace ui
