#include "gui/qt/print_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <filesystem>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "gui/qt/print_paint.hpp"

#if defined(__SANITIZE_ADDRESS__)
// The system's fontconfig keeps a little memory from parsing its configuration files that
// nothing frees; it is not ours to fix. Weak, so that a program with its own list wins.
extern "C" __attribute__((weak, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" __attribute__((weak, visibility("default"))) const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

namespace gui::qt {

namespace print = gui::print;

namespace {

void set_error(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// Qt's PDF engine copies every page's content through a buffer of ten megabytes, so with
// the allocator's defaults the heap grows and is given back to the system on every page,
// and the pages are touched afresh each time: most of the time of a long job. While a job
// is written the allocator keeps that much memory at the top of the heap instead; the
// default (128 KiB, mallopt(3)) comes back afterwards.
class HeapPad {
public:
    HeapPad() {
#if defined(__GLIBC__)
        mallopt(M_TOP_PAD, 64 << 20);
#endif
    }
    ~HeapPad() {
#if defined(__GLIBC__)
        mallopt(M_TOP_PAD, 128 << 10);
#endif
    }
    HeapPad(const HeapPad&) = delete;
    HeapPad& operator=(const HeapPad&) = delete;
};

// Paints the pages of the job the printer asks for onto it (begins and ends the painter).
bool paint_on_printer(const print::Job& job, QPrinter& printer, std::string* error) {
    HeapPad pad;
    QPainter painter;
    if (!painter.begin(&printer)) {
        set_error(error, "No se puede usar la impresora");
        return false;
    }
    JobPainter jp(job, &printer);
    const QSizeF area = printer.pageRect(QPrinter::DevicePixel).size();
    const QPageRanges ranges = printer.pageRanges();
    bool first = true;
    for (size_t i = 0; i < job.page_count(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (!ranges.isEmpty() && !ranges.contains(number)) continue;
        if (!first) printer.newPage();
        jp.paint(painter, i, area);
        first = false;
    }
    painter.end();
    return true;
}

}  // namespace

bool ensure_gui_application(std::string* error) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (qobject_cast<QGuiApplication*>(app)) return true;
        set_error(error, "La aplicación no permite dibujar páginas (sin interfaz gráfica)");
        return false;
    }
    const bool no_display = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (no_display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Batch runs often have no session directory; give Qt its usual private one so that it
    // does not warn about it on every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string dir = QDir::tempPath().toStdString() + "/runtime-" + std::to_string(::getuid());
        ::mkdir(dir.c_str(), 0700);
        struct stat st {};
        if (::stat(dir.c_str(), &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700)
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
    }
    // The application object lives as long as the process (a new one is made only when a
    // caller destroyed its own).
    static int argc = 1;
    static char arg0[] = "planilla";
    static char* argv[] = {arg0, nullptr};
    new QApplication(argc, argv);  // reachable through QCoreApplication::instance()
    return true;
}

bool write_pdf(const print::Job& job, const std::string& path, std::string* error) {
    return write_pdf(std::vector<const print::Job*>{&job}, path, error);
}

bool write_pdf(const std::vector<const print::Job*>& jobs, const std::string& path, std::string* error) {
    if (!ensure_gui_application(error)) return false;
    const std::string tmp = path + ".tmp";
    {
        HeapPad pad;
        QPdfWriter writer(QString::fromStdString(tmp));
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("planilla"));
        if (!jobs.empty() && jobs.front()) {
            writer.setTitle(QString::fromStdString(jobs.front()->title()));
            apply_layout(*jobs.front(), writer);
        }
        QPainter painter;
        if (!painter.begin(&writer)) {
            set_error(error, "No se puede crear el archivo " + path);
            std::remove(tmp.c_str());
            return false;
        }
        bool first = true;
        for (const print::Job* job : jobs) {
            if (!job) continue;
            // A new layout takes effect from the next page on.
            if (!first) apply_layout(*job, writer);
            JobPainter jp(*job, &writer);
            const QSizeF area = printable_area(writer, writer.resolution());
            for (size_t i = 0; i < job->page_count(); ++i) {
                if (!first) writer.newPage();
                jp.paint(painter, i, area);
                first = false;
            }
        }
        if (!painter.end()) {
            set_error(error, "No se pudo escribir el archivo " + path);
            std::remove(tmp.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        set_error(error, "No se pudo escribir el archivo " + path + ": " + ec.message());
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool print_job(const print::Job& job, QPrinter& printer, std::string* error) {
    if (!ensure_gui_application(error)) return false;
    printer.setDocName(QString::fromStdString(job.title()));
    apply_layout(job, printer);
    return paint_on_printer(job, printer, error);
}

QPrinter& shared_printer() {
    // Kept for the whole process, like the printer chosen in the set-up dialog.
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

void show_preview(const print::Job& job, QWidget* parent) {
    if (!ensure_gui_application()) return;
    QPrinter& printer = shared_printer();
    printer.setDocName(QString::fromStdString(job.title()));
    printer.setPageRanges(QPageRanges());
    apply_layout(job, printer);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QString::fromStdString(job.caption()));
    // The preview asks again after every change of orientation or page set-up, and once
    // more when printing (then with the range chosen in the print dialog).
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&job](QPrinter* p) { paint_on_printer(job, *p, nullptr); });
    dialog.exec();
}

void printer_setup(QWidget* parent) {
    if (!ensure_gui_application()) return;
    QPrintDialog dialog(&shared_printer(), parent);
    dialog.setWindowTitle(QStringLiteral("Configurar impresora"));
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    dialog.exec();
}

}  // namespace gui::qt
