#include "gui/qt/qt_ui.hpp"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "gui/dialog.hpp"
#include "gui/mainwin.hpp"
#include "gui/qt/dialog_window.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/main_frame.hpp"
#include "gui/qt/print_output.hpp"
#include "gui/qt/qt_text.hpp"


namespace gui::qt {

void use_spanish() {
    static bool done = false;
    if (done || !QCoreApplication::instance()) return;
    done = true;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Peru));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_es", "qt_es"}) {
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QLatin1String(name), dir)) QCoreApplication::installTranslator(t);
        else delete t;
    }
}

QtUi::QtUi(const Clock& clock) : clock_(clock), shell_(std::make_unique<QtShell>(*this)) {}

QtUi::~QtUi() { delete progress_; }

QWidget* QtUi::parent_widget() const {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    if (QWidget* w = QApplication::activeWindow()) return w;
    return main_;
}

void QtUi::alert(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::NoButton, parent_widget());
    QPushButton* ok = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool QtUi::ask(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Question, qs(title), qs(text), QMessageBox::NoButton, parent_widget());
    QPushButton* yes = box.addButton(QStringLiteral("Sí"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    // A destructive question ("Atención:") answers No unless the person says otherwise.
    box.setDefaultButton(text.rfind("Atención:", 0) == 0 ? no : yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void QtUi::notice(std::string_view text, std::string_view title, int seconds) {
    QDialog box(parent_widget());
    box.setWindowTitle(qs(title));
    auto* top = new QVBoxLayout(&box);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(&box);
    int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    icon->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, &box).pixmap(side, side));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* label = new QLabel(qs(text), &box);
    label->setTextFormat(Qt::PlainText);
    row->addWidget(label, 1);
    top->addLayout(row);
    auto* buttons = new QDialogButtonBox(&box);
    QPushButton* ok = buttons->addButton(QStringLiteral("Aceptar"), QDialogButtonBox::AcceptRole);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    top->addWidget(buttons);
    QTimer::singleShot(std::max(1, seconds) * 1000, &box, &QDialog::accept);
    box.exec();
}

void QtUi::beep() { QApplication::beep(); }

void QtUi::progress_begin(std::string_view title, std::string_view text, int64_t total) {
    delete progress_;
    // QProgressDialog counts in int: a longer pass is shown in proportion.
    progress_scale_ = total > INT_MAX ? total / INT_MAX + 1 : 1;
    progress_ = new QProgressDialog(qs(text), QString(), 0, static_cast<int>(std::max<int64_t>(total, 0) / progress_scale_),
                                    parent_widget());
    progress_->setWindowTitle(qs(title));
    progress_->setCancelButton(nullptr);
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumWidth(progress_->fontMetrics().averageCharWidth() * 50);
    progress_->setValue(0);
    progress_->show();
    QCoreApplication::processEvents();
}

void QtUi::progress_update(int64_t done, int64_t total) {
    if (!progress_) return;
    int max = static_cast<int>(std::max<int64_t>(total, 0) / progress_scale_);
    if (progress_->maximum() != max) progress_->setMaximum(max);
    progress_->setValue(static_cast<int>(std::clamp<int64_t>(done / progress_scale_, 0, max)));
    // The pass runs on the event loop's thread: let the window draw itself.
    QCoreApplication::processEvents();
}

void QtUi::progress_end() {
    if (!progress_) return;
    progress_->close();
    delete progress_;
    progress_ = nullptr;
    QCoreApplication::processEvents();
}

std::optional<std::string> QtUi::open_file(std::string_view title, std::string_view default_name,
                                           std::string_view pattern) {
    // File names on Linux are case-sensitive; "*.DBF" should find "x.dbf" too.
    QStringList patterns;
    for (const QString& p : qs(pattern).split(QRegularExpression("[;, ]+"), Qt::SkipEmptyParts)) {
        patterns << p;
        if (p.toLower() != p) patterns << p.toLower();
        if (p.toUpper() != p) patterns << p.toUpper();
    }
    QString filter;
    if (!patterns.isEmpty()) filter = QStringLiteral("Archivos (%1);;").arg(patterns.join(' '));
    filter += QStringLiteral("Todos los archivos (*)");
    QString chosen = QFileDialog::getOpenFileName(parent_widget(), qs(title), qs(default_name), filter);
    if (chosen.isEmpty()) return std::nullopt;
    return ss(chosen);
}

std::optional<std::string> QtUi::prompt(const PromptSpec& request) {
    constexpr int kEdit = 1, kAccept = 2, kCancel = 3;
    int width = request.width > 0 ? request.width : picture_width(request.picture, 20);
    DialogTemplate t("PROMPT", request.title);
    t.edit(kEdit, request.label, request.picture, width);
    t.button(kAccept, "&Aceptar").button(kCancel, "&Cancelar").beside();
    Dialog d(std::move(t));
    d.set_text(kEdit, request.initial);
    d.on_button(kAccept, [&] { d.close(1); });
    d.on_button(kCancel, [&] { d.close(0); });
    d.skip_validation(kCancel);
    DialogWindow w(d, clock_, parent_widget(), report_date_);
    w.set_default_button(kAccept);
    if (!request.image.empty()) {
        QString path = icon_path(request.image);
        if (!path.isEmpty()) w.set_caption_picture(kEdit, QPixmap(path));
    }
    if (w.run() != 1) return std::nullopt;
    return d.text(kEdit);
}

int QtUi::run(Dialog& dialog) {
    DialogWindow w(dialog, clock_, parent_widget(), report_date_);
    return w.run();
}

void QtUi::run_main(MainWindow& window) {
    MainFrame frame(window, clock_);
    QWidget* before = main_;
    main_ = &frame;
    QEventLoop loop;
    QObject::connect(&frame, &MainFrame::closed, &loop, &QEventLoop::quit);
    frame.show();
    if (!window.closed()) loop.exec();
    main_ = before;
}

void QtUi::preview(const print::Job& job) { show_preview(job, parent_widget()); }

void QtUi::printer_setup() { gui::qt::printer_setup(parent_widget()); }

// --- shell ---

bool QtShell::open_with(std::string_view program, const std::string& file) {
    std::vector<std::string> argv = resolve_program(program, file);
    std::string what(program);
    if (!file.empty()) what += " " + file;
    if (argv.empty()) {
        ui_.alert("No se pudo ejecutar " + what + " (programa no disponible)", "Revisar");
        return false;
    }
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i) args << qs(argv[i]);
    if (!QProcess::startDetached(qs(argv[0]), args)) {
        ui_.alert("No se pudo ejecutar " + what, "Revisar");
        return false;
    }
    return true;
}

bool QtShell::start(const std::string& program, const std::vector<std::string>& args) {
    QStringList list;
    for (const auto& a : args) list << qs(a);
    if (program.empty() || !QProcess::startDetached(qs(program), list)) {
        ui_.alert("No se pudo ejecutar " + program, "Revisar");
        return false;
    }
    return true;
}

}  // namespace gui::qt
