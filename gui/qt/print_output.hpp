#pragma once
// Print jobs on real devices: a PDF file, the printer, the print preview, the printer set-up
// dialog. All of them draw a job's pages with one painter routine (print_paint.hpp), so the
// preview shows what the printer and the PDF get.
//
// This header includes no Qt header, so that batch code (planilla-cli, benchmarks) can write
// PDF files without knowing Qt.
#include <string>
#include <vector>

#include "gui/print/page.hpp"

class QWidget;
class QPrinter;

namespace gui::qt {

// Makes sure a Qt application object exists, as fonts and painting need one. When there is
// none it creates a QApplication, on the "offscreen" platform when no display is available
// (no DISPLAY or WAYLAND_DISPLAY and no QT_QPA_PLATFORM chosen). Returns false, with `error`
// set, when an application object of another kind (a QCoreApplication) already exists.
bool ensure_gui_application(std::string* error = nullptr);

// Writes every page of the job to a PDF file: texts stay texts, in Courier on the job's
// grid. The file is written under a temporary name and renamed when complete, so a failed
// run leaves no file behind. Returns false with `error` set on failure.
bool write_pdf(const gui::print::Job& job, const std::string& path, std::string* error);
// Several jobs one after the other in one file, each page with its own job's layout.
bool write_pdf(const std::vector<const gui::print::Job*>& jobs, const std::string& path, std::string* error);

// Prints the job on `printer` with its page layout set from the job (paper, orientation);
// honours the printer's page ranges (all pages when none is set).
bool print_job(const gui::print::Job& job, QPrinter& printer, std::string* error);

// The print preview, modal: page navigation, zoom, printing all pages or a range, printer
// and page set-up; titled with the job's caption.
void show_preview(const gui::print::Job& job, QWidget* parent);

// The system printer set-up dialog; the choice is kept for the previews and prints that
// follow in this process.
void printer_setup(QWidget* parent);

// The printer the previews and printer_setup share (created on first use).
QPrinter& shared_printer();

}  // namespace gui::qt
