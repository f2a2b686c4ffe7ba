#include "gui/print/report.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "gui/print/utf8.hpp"
#include "xbase/table.hpp"

namespace gui::print {

namespace {

// The template of a picture: what follows "@functions " or the whole picture.
std::string_view picture_template(std::string_view picture) {
    if (picture.empty() || picture.front() != '@') return picture;
    size_t blank = picture.find(' ');
    return blank == std::string_view::npos ? std::string_view{} : picture.substr(blank + 1);
}

bool picture_is_date(std::string_view picture) {
    if (picture.empty() || picture.front() != '@') return false;
    std::string_view fn = picture.substr(1, picture.find(' ') - 1);
    return fn.find_first_of("Dd") != std::string_view::npos;
}

bool picture_is_numeric(std::string_view picture) {
    std::string_view t = picture_template(picture);
    if (t.find_first_of("9#") == std::string_view::npos) return false;
    return t.find_first_not_of("9#,.-") == std::string_view::npos;
}

int text_width(std::string_view s) { return static_cast<int>(utf8::length(s)); }

// A text of exactly `width` characters. Texts are cut; a number or date that does not fit
// shows asterisks, never a wrong figure.
std::string fit(std::string_view s, int width, Align align, bool never_cut) {
    int len = text_width(s);
    if (len > width) {
        if (never_cut) return std::string(static_cast<size_t>(width), '*');
        return std::string(utf8::prefix(s, static_cast<size_t>(width)));
    }
    int pad = width - len;
    int left = align == Align::Right ? pad : align == Align::Center ? pad / 2 : 0;
    std::string out;
    out.reserve(s.size() + static_cast<size_t>(pad));
    out.append(static_cast<size_t>(left), ' ');
    out.append(s);
    out.append(static_cast<size_t>(pad - left), ' ');
    return out;
}

// Builds one printed line from pieces placed left to right at given columns.
class LineBuilder {
public:
    void place(int column, std::string_view s) {
        if (column > len_) {
            out_.append(static_cast<size_t>(column - len_), ' ');
            len_ = column;
        }
        out_.append(s);
        len_ += text_width(s);
    }
    // The line without trailing blanks; empty when it is all blank.
    std::string take() {
        size_t end = out_.find_last_not_of(' ');
        std::string s = end == std::string::npos ? std::string() : out_.substr(0, end + 1);
        out_.clear();
        len_ = 0;
        return s;
    }

private:
    std::string out_;
    int len_ = 0;
};

struct Layout {
    int start = 0;
    int width = 0;
    Align title_align = Align::Left;
};

}  // namespace

RowSource rows_of(xbase::Table& table) {
    return [&table, started = false]() mutable {
        if (!started) {
            table.go_top();
            started = true;
        } else {
            table.skip(1);
        }
        return !table.eof();
    };
}

Report::Report(std::string caption) : caption_(std::move(caption)) { footers_.push_back(&page_number_footer); }

Report& Report::set_fonts(ReportFonts fonts) {
    fonts_ = std::move(fonts);
    return *this;
}
Report& Report::add_header(std::string text) {
    headers_.push_back([t = std::move(text)](int) { return t; });
    return *this;
}
Report& Report::add_header(PageText text) {
    headers_.push_back(std::move(text));
    return *this;
}
Report& Report::add_title(std::string text) {
    titles_.push_back([t = std::move(text)](int) { return t; });
    return *this;
}
Report& Report::add_title(PageText text) {
    titles_.push_back(std::move(text));
    return *this;
}
Report& Report::add_column(Column column) {
    columns_.push_back(std::move(column));
    return *this;
}
Report& Report::add_column(std::string title, std::function<Cell()> value, int width, std::string picture,
                           bool total) {
    Column c;
    c.titles = {std::move(title)};
    c.value = std::move(value);
    c.width = width;
    c.picture = std::move(picture);
    c.total = total;
    return add_column(std::move(c));
}
Report& Report::set_group(Group group) {
    group_ = std::move(group);
    return *this;
}
Report& Report::set_page_totals(std::string label) {
    page_totals_ = true;
    page_total_label_ = std::move(label);
    return *this;
}
Report& Report::set_grand_total(bool on) {
    grand_total_ = on;
    return *this;
}
Report& Report::set_grand_total_label(std::function<std::string(int)> label) {
    grand_total_label_ = std::move(label);
    return *this;
}
Report& Report::set_double_spacing(bool on) {
    double_spacing_ = on;
    return *this;
}
Report& Report::clear_footers() {
    footers_.clear();
    return *this;
}
Report& Report::add_footer(std::string text) {
    footers_.push_back([t = std::move(text)](int) { return t; });
    return *this;
}
Report& Report::add_footer(PageText text) {
    footers_.push_back(std::move(text));
    return *this;
}
Report& Report::set_rules(bool above_titles, bool below_titles) {
    rule_above_ = above_titles;
    rule_below_ = below_titles;
    return *this;
}
Report& Report::set_first_line(int line) {
    first_line_ = line;
    return *this;
}
Report& Report::set_lines_per_page(int lines) {
    lines_per_page_ = lines;
    return *this;
}
Report& Report::set_width(int columns) {
    width_ = columns;
    return *this;
}
Report& Report::set_margin(int columns) {
    margin_ = columns;
    return *this;
}
Report& Report::set_orientation(Orientation o) {
    orientation_ = o;
    return *this;
}
Report& Report::set_paper(Paper paper) {
    paper_ = paper;
    return *this;
}
Report& Report::set_column_gap(int blanks) {
    gap_ = std::max(0, blanks);
    return *this;
}
Report& Report::on_page_start(std::function<void(Job&, const PageStart&)> fn) {
    on_page_start_ = std::move(fn);
    return *this;
}
Report& Report::on_line(std::function<void(Job&, int)> fn) {
    on_line_ = std::move(fn);
    return *this;
}
Report& Report::on_group_start(std::function<void(Job&, const std::string&)> fn) {
    on_group_start_ = std::move(fn);
    return *this;
}
Report& Report::on_group_end(std::function<void(Job&, const std::string&, int)> fn) {
    on_group_end_ = std::move(fn);
    return *this;
}

std::string Report::default_grand_total_label(int count) { return "Tot Final.. ( " + common::str(count, 5) + " )"; }

std::string Report::page_number_footer(int page) { return fmt::format("Pagina : {:>3}", page); }

// One run of a report: the page being filled and the running totals.
class ReportRun {
public:
    explicit ReportRun(const Report& r) : r_(r), job_("IMPRESION") {}

    Job run(const RowSource& rows) {
        layout();
        start_page();
        std::string key;
        bool in_group = false;
        std::vector<std::string> cells(r_.columns_.size());
        std::vector<double> values(r_.columns_.size());
        while (rows && rows()) {
            if (r_.group_) {
                std::string k = r_.group_->key ? r_.group_->key() : std::string();
                if (!in_group || k != key) {
                    if (in_group) close_group(key);
                    key = std::move(k);
                    open_group(key);
                    in_group = true;
                }
            }
            detail(cells, values);
        }
        if (in_group) close_group(key);
        if (r_.grand_total_) {
            std::string label =
                r_.grand_total_label_ ? r_.grand_total_label_(count_) : Report::default_grand_total_label(count_);
            int need = totals_lines(label);
            if (line_ + need > body_limit_) new_page();
            // On the last page the page totals come before the grand totals.
            if (r_.page_totals_) {
                totals_at(line_, r_.page_total_label_, page_sums_);
                page_total_done_ = true;
            }
            totals_at(line_, label, grand_sums_);
        }
        finish_page();
        // A label longer than the table (group header, totals label) widens the grid of a
        // report whose width is not fixed, so that nothing runs off the page.
        if (r_.width_ == 0) width_ = std::max(width_, widest_);
        choose_page();
        return std::move(job_);
    }

private:
    // Column positions and widths, the grid width and the lines of a page.
    void layout() {
        const auto& cols = r_.columns_;
        int x = 0;
        title_lines_ = 0;
        for (size_t i = 0; i < cols.size(); ++i) {
            const Column& c = cols[i];
            if (c.titles.size() > 2) throw ReportError("Una columna del reporte tiene más de dos títulos");
            Layout l;
            l.width = std::max(0, c.width);
            for (const auto& t : c.titles) l.width = std::max(l.width, text_width(t));
            std::string_view tmpl = picture_template(c.picture);
            l.width = std::max(l.width, text_width(tmpl));
            if (picture_is_date(c.picture)) l.width = std::max(l.width, 10);
            if (i > 0) x += r_.gap_;
            l.start = x;
            x += l.width;
            bool numeric = picture_is_numeric(c.picture) || c.total;
            l.title_align = c.align != Align::Auto ? c.align : numeric ? Align::Right : Align::Left;
            title_lines_ = std::max(title_lines_, static_cast<int>(c.titles.size()));
            layout_.push_back(l);
            if (c.total) {
                if (first_total_ < 0) first_total_ = static_cast<int>(i);
                last_total_ = static_cast<int>(i);
            }
        }
        table_width_ = x;
        if (r_.width_ > 0) {
            if (table_width_ > r_.width_)
                throw ReportError(fmt::format("Las columnas del reporte ocupan {} caracteres y el ancho es {}",
                                              table_width_, r_.width_));
            width_ = r_.width_;
        } else {
            width_ = std::max(1, table_width_);
            for (const auto* list : {&r_.headers_, &r_.titles_, &r_.footers_})
                for (const auto& t : *list) width_ = std::max(width_, text_width(t ? t(1) : std::string()));
        }
        grand_sums_.assign(cols.size(), 0.0);
        page_sums_ = group_sums_ = grand_sums_;

        if (r_.lines_per_page_ < 1 || r_.lines_per_page_ > kPageLines || r_.first_line_ < 0)
            throw ReportError(fmt::format("Líneas por página fuera del rango 1..{}", kPageLines));
        int heading = static_cast<int>(r_.headers_.size() + r_.titles_.size());
        if (heading > 0) ++heading;  // a blank line before the column titles
        body_top_ = r_.first_line_ + heading + title_lines_;
        int footers = static_cast<int>(r_.footers_.size());
        page_total_lines_ = r_.page_totals_ ? totals_lines(r_.page_total_label_) : 0;
        body_limit_ = r_.lines_per_page_ - footers - (footers > 0 ? 1 : 0) - page_total_lines_;
        // Room for at least a group header, a detail line and the longest totals block.
        if (body_limit_ - body_top_ < 3) throw ReportError("El reporte no deja líneas para el detalle");
    }

    // Portrait or landscape and the font size: the first that shows the grid at the
    // natural pitch of font 1.
    void choose_page() {
        const int cells = width_ + std::max(0, r_.margin_);
        ReportFonts fonts = r_.fonts_;
        Orientation o = r_.orientation_;
        auto fits = [&](Orientation orient, const ReportFonts& f) {
            return columns_that_fit(r_.paper_, orient, f.font(1).points) >= cells;
        };
        if (!fits(o, fonts)) {
            o = Orientation::Landscape;
            while (!fits(o, fonts)) {
                if (fonts.size <= kMinFontSize)
                    throw ReportError(fmt::format("El reporte de {} columnas no cabe en la página", cells));
                fonts = fonts.printer ? DEFFONTP(fonts.size - 1) : DEFFONTS(fonts.size - 1);
            }
        }
        job_.set_caption(r_.caption_);
        job_.set_columns(width_);
        job_.set_margin(r_.margin_);
        job_.set_orientation(o);
        job_.set_fonts(fonts);
        job_.set_paper(r_.paper_);
    }

    // A text at column 0 of the body (detail, labels, totals); remembers the widest.
    void put(int line, const std::string& s, int font) {
        widest_ = std::max(widest_, text_width(s));
        job_.text(line, 0, s, font);
    }

    int centred(std::string_view s) const { return std::max(0, (width_ - text_width(s)) / 2); }

    void start_page() {
        job_.begin_page();
        const int page = job_.page_number();
        if (r_.on_page_start_) r_.on_page_start_(job_, PageStart{page, r_.first_line_});
        line_ = r_.first_line_;
        for (const auto* list : {&r_.headers_, &r_.titles_})
            for (const auto& t : *list) {
                std::string s = t ? t(page) : std::string();
                if (!s.empty()) job_.text(line_, centred(s), s, 1);
                ++line_;
            }
        if (!r_.headers_.empty() || !r_.titles_.empty()) ++line_;
        if (title_lines_ > 0) {
            if (r_.rule_above_) job_.hline(line_, 0, table_width_, 1);
            LineBuilder b;
            for (int k = 0; k < title_lines_; ++k) {
                for (size_t i = 0; i < layout_.size(); ++i) {
                    const auto& titles = r_.columns_[i].titles;
                    std::string_view t = k < static_cast<int>(titles.size()) ? std::string_view(titles[k]) : "";
                    b.place(layout_[i].start, fit(t, layout_[i].width, layout_[i].title_align, false));
                }
                std::string s = b.take();
                if (!s.empty()) job_.text(line_, 0, s, 1);
                ++line_;
            }
            if (r_.rule_below_) job_.hline(line_, 0, table_width_, 1);
        }
        std::fill(page_sums_.begin(), page_sums_.end(), 0.0);
        page_total_done_ = false;
    }

    void finish_page() {
        if (r_.page_totals_ && !page_total_done_) totals_at(line_, r_.page_total_label_, page_sums_);
        const int page = job_.page_number();
        int l = r_.lines_per_page_ - static_cast<int>(r_.footers_.size());
        for (const auto& f : r_.footers_) {
            std::string s = f ? f(page) : std::string();
            if (!s.empty()) job_.text(l, centred(s), s, 2);
            ++l;
        }
        job_.end_page();
    }

    void new_page() {
        finish_page();
        start_page();
    }

    bool page_has_body() const { return line_ > body_top_; }

    void open_group(const std::string& key) {
        const Group& g = *r_.group_;
        if (g.new_page && groups_ > 0 && page_has_body()) new_page();
        int blank = g.blank_line_before && page_has_body() ? 1 : 0;
        int head = g.header ? 1 : 0;
        // The header goes with at least the group's first line.
        if (line_ + blank + head + 1 > body_limit_) {
            new_page();
            blank = 0;
        }
        line_ += blank;
        if (r_.on_group_start_) r_.on_group_start_(job_, key);
        if (head) {
            std::string s = g.header(key);
            if (!s.empty()) put(line_, s, 1);
            ++line_;
        }
        ++groups_;
        group_count_ = 0;
        std::fill(group_sums_.begin(), group_sums_.end(), 0.0);
    }

    void close_group(const std::string& key) {
        const Group& g = *r_.group_;
        std::string label = g.footer ? g.footer(key, group_count_) : std::string();
        totals_block(label, group_sums_);
        if (r_.on_group_end_) r_.on_group_end_(job_, key, group_count_);
    }

    void detail(std::vector<std::string>& cells, std::vector<double>& values) {
        const auto& cols = r_.columns_;
        LineBuilder b;
        for (size_t i = 0; i < cols.size(); ++i) {
            const Column& c = cols[i];
            Cell v = c.value ? c.value() : Cell();
            values[i] = v.kind() == Cell::Kind::Number ? v.number() : 0.0;
            std::string s;
            switch (v.kind()) {
                case Cell::Kind::Blank:
                    break;
                case Cell::Kind::Number:
                    s = c.picture.empty() ? common::str(v.number(), layout_[i].width, 2)
                                          : common::transform(v.number(), c.picture);
                    break;
                case Cell::Kind::Date:
                    s = common::transform_date(v.date_value(), c.picture);
                    break;
                case Cell::Kind::Text:
                    s = c.picture.empty() ? v.text() : common::transform_text(v.text(), c.picture);
                    break;
            }
            Align a = c.align != Align::Auto ? c.align : v.kind() == Cell::Kind::Number ? Align::Right : Align::Left;
            bool never_cut = v.kind() == Cell::Kind::Number || v.kind() == Cell::Kind::Date;
            cells[i] = fit(s, layout_[i].width, a, never_cut);
        }
        for (size_t i = 0; i < cols.size(); ++i) b.place(layout_[i].start, cells[i]);
        std::string text = b.take();

        bool spaced = r_.double_spacing_ && page_has_body();
        if (line_ + (spaced ? 2 : 1) > body_limit_) {
            new_page();
            spaced = false;
        }
        if (spaced) ++line_;
        if (!text.empty()) put(line_, text, 2);
        if (r_.on_line_) r_.on_line_(job_, line_);
        ++line_;
        for (size_t i = 0; i < cols.size(); ++i) {
            if (!cols[i].total) continue;
            page_sums_[i] += values[i];
            group_sums_[i] += values[i];
            grand_sums_[i] += values[i];
        }
        ++count_;
        ++group_count_;
    }

    // Lines a totals line with this label takes: the label goes in front of the totals when
    // it ends before the first totalled column, else on a line of its own above them.
    int totals_lines(const std::string& label) const {
        if (first_total_ < 0) return label.empty() ? 0 : 1;
        if (label.empty()) return 1;
        return text_width(label) < layout_[first_total_].start ? 1 : 2;
    }

    void totals_block(const std::string& label, const std::vector<double>& sums) {
        int need = totals_lines(label);
        if (need == 0) return;
        if (line_ + need > body_limit_) new_page();
        totals_at(line_, label, sums);
    }

    // The label and the sums at `l`, with a rule above the totalled columns; moves line_.
    void totals_at(int l, const std::string& label, const std::vector<double>& sums) {
        int need = totals_lines(label);
        if (need == 0) return;
        line_ = l;
        if (first_total_ >= 0) {
            const Layout& a = layout_[first_total_];
            const Layout& z = layout_[last_total_];
            job_.hline(line_, a.start, z.start + z.width, 2);
        }
        LineBuilder b;
        if (need == 2) {
            put(line_, label, 1);
            ++line_;
        } else {
            b.place(0, label);
        }
        if (first_total_ >= 0) {
            for (size_t i = first_total_; i <= static_cast<size_t>(last_total_); ++i) {
                const Column& c = r_.columns_[i];
                if (!c.total) continue;
                std::string s = c.picture.empty() ? common::str(sums[i], layout_[i].width, 2)
                                                  : common::transform(sums[i], c.picture);
                Align a = c.align == Align::Auto ? Align::Right : c.align;
                b.place(layout_[i].start, fit(s, layout_[i].width, a, true));
            }
        }
        std::string s = b.take();
        if (!s.empty()) put(line_, s, 1);
        ++line_;
    }

    const Report& r_;
    Job job_;
    std::vector<Layout> layout_;
    int title_lines_ = 0;
    int table_width_ = 0;
    int width_ = 0;
    int widest_ = 0;
    int first_total_ = -1, last_total_ = -1;
    int body_top_ = 0, body_limit_ = 0, page_total_lines_ = 0;
    int line_ = 0;
    int groups_ = 0;
    bool page_total_done_ = false;
    int count_ = 0, group_count_ = 0;
    std::vector<double> page_sums_, group_sums_, grand_sums_;
};

Job Report::run(const RowSource& rows) const { return ReportRun(*this).run(rows); }

}  // namespace gui::print
