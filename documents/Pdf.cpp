#include "documents/Pdf.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace brivos::documents {
namespace {

constexpr double kMargin = 50;  // points
constexpr double kRowGap = 3;
constexpr const char* kFont = "DejaVu Sans";

enum class Align { kLeft, kRight };

struct Cell {
  std::string text;
  double width;
  Align align = Align::kLeft;
};

bool Blank(const Variant& v) {
  return v.IsEmpty() || v.IsNull() || (v.Type() == VarType::String && v.AsString().empty());
}

std::string Text(const Variant& v) {
  if (Blank(v)) return {};
  if (v.Type() == VarType::Date) return v.AsDate().ToString();
  return CStr(v);
}

std::string Hours(double hours) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", hours);
  return text;
}

// One page after another on a PDF surface, text set by Pango.
class Drawing {
 public:
  Drawing(double width, double height) : width_(width), height_(height) {
    surface_ = cairo_pdf_surface_create_for_stream(&Drawing::Append, &out_, width, height);
    cr_ = cairo_create(surface_);
    regular_ = pango_font_description_from_string(kFont);
    y_ = kMargin;
  }
  ~Drawing() {
    pango_font_description_free(regular_);
    for (auto& [key, layout] : shaped_) g_object_unref(layout);
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;

  void SetTitle(const std::string& title) {
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, Valid(title).c_str());
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "BRIVOS");
  }

  double Width() const { return width_ - 2 * kMargin; }
  double Y() const { return y_; }
  void Skip(double points) { y_ += points; }

  // A row of cells from the left margin, wrapping text within each cell;
  // starts a page first when the row does not fit. Returns its height.
  double Row(const std::vector<Cell>& cells, double size = 9, bool bold = false,
             const std::vector<Cell>* heading = nullptr) {
    double height = Prepare(cells, size, bold);
    if (y_ + height > height_ - kMargin) {
      NewPage();
      if (heading != nullptr) Row(*heading, size, true);
      height = Prepare(cells, size, bold);  // the page's footer and heading took the layouts
    }
    return Show(cells, height);
  }

  // A row at the current position, wherever that is.
  double Draw(const std::vector<Cell>& cells, double size, bool bold) {
    return Show(cells, Prepare(cells, size, bold));
  }

  void Rule(double weight = 0.5) {
    cairo_set_line_width(cr_, weight);
    cairo_move_to(cr_, kMargin, y_ - 1);
    cairo_line_to(cr_, width_ - kMargin, y_ - 1);
    cairo_stroke(cr_);
    y_ += 2;
  }

  // Ends the document; its bytes.
  std::string Finish() {
    Footer();
    cairo_surface_finish(surface_);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      Raise(errnum::kDbFailure, std::string("the PDF could not be drawn: ") +
                                    cairo_status_to_string(cairo_surface_status(surface_)));
    }
    return std::move(out_);
  }

 private:
  static cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  }

  // Text Pango takes: invalid UTF-8 replaced.
  static std::string Valid(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
  }

  // Lays each cell's text out, or finds it laid out already: a long
  // invoice repeats its dates, hours, rates and names, and shaping text is
  // most of the drawing. Returns the height of the row's tallest cell.
  double Prepare(const std::vector<Cell>& cells, double size, bool bold) {
    if (shaped_.size() + cells.size() > kShapedAtMost) {
      for (auto& [key, layout] : shaped_) g_object_unref(layout);
      shaped_.clear();
    }
    row_.clear();
    double height = 0;
    for (const Cell& c : cells) {
      const int width = static_cast<int>((c.width - 6) * PANGO_SCALE);
      std::string key = c.text;
      key += '\0';
      key += std::to_string(width) + (c.align == Align::kRight ? "r" : "l") + (bold ? "b" : "") +
             std::to_string(size);
      PangoLayout*& layout = shaped_[std::move(key)];
      if (layout == nullptr) {
        layout = pango_cairo_create_layout(cr_);
        pango_font_description_set_weight(regular_,
                                          bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_absolute_size(regular_, size * PANGO_SCALE);
        pango_layout_set_font_description(layout, regular_);
        pango_layout_set_width(layout, width);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout,
                                   c.align == Align::kRight ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT);
        const std::string text = Valid(c.text);
        pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
      }
      row_.push_back(layout);
      int w = 0, h = 0;
      pango_layout_get_size(layout, &w, &h);
      height = std::max(height, static_cast<double>(h) / PANGO_SCALE);
    }
    return height;
  }

  // Draws the cells Prepare set at the current position.
  double Show(const std::vector<Cell>& cells, double height) {
    double x = kMargin;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      cairo_move_to(cr_, x, y_);
      pango_cairo_show_layout(cr_, row_[i]);
      x += cells[i].width;
    }
    y_ += height + kRowGap;
    return height;
  }

  void Footer() {
    const double y = y_;
    y_ = height_ - kMargin + 14;
    Draw({{"Page " + std::to_string(page_), Width(), Align::kRight}}, 7, false);
    y_ = y;
  }

  void NewPage() {
    Footer();
    cairo_show_page(cr_);
    ++page_;
    y_ = kMargin;
  }

  std::string out_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
  // Laid-out texts by text, width, alignment, weight and size; the row's
  // cells among them.
  static constexpr std::size_t kShapedAtMost = 4096;
  std::unordered_map<std::string, PangoLayout*> shaped_;
  std::vector<PangoLayout*> row_;
  PangoFontDescription* regular_;
  double width_, height_, y_;
  int page_ = 1;
};

std::string AddressOf(const Party& p) {
  std::string out = p.name;
  for (const std::string* part : {&p.address1, &p.address2}) {
    if (!part->empty()) out += "\n" + *part;
  }
  std::string city = p.city;
  for (const std::string* part : {&p.province, &p.postal_code}) {
    if (!part->empty()) city += (city.empty() ? "" : " ") + *part;
  }
  if (!city.empty()) out += "\n" + city;
  if (!p.country.empty()) out += "\n" + p.country;
  return out;
}

}  // namespace

std::string InvoicePdf(const InvoiceBreakdown& invoice, const ClientCopy& copy,
                       const Parties& parties) {
  const bool letter = parties.paper == "Letter";
  Drawing d(letter ? 612 : 595.276, letter ? 792 : 841.89);
  const auto& h = invoice.header;
  const std::string title = "Invoice " + Text(h.invoice_number);
  d.SetTitle(title + (Blank(h.company) ? "" : " - " + Text(h.company)));
  const double w = d.Width();

  d.Row({{Text(h.company), w / 2}, {title, w / 2, Align::kRight}}, 16, true);
  d.Rule(1.5);
  d.Skip(6);
  std::string seller = AddressOf(parties.seller);
  if (!parties.seller.vat_id.empty()) seller += "\nVAT " + parties.seller.vat_id;
  if (!parties.seller.registration_id.empty()) seller += "\n" + parties.seller.registration_id;
  std::string details;
  for (const auto& [label, value] :
       {std::pair<const char*, std::string>{"Date", Text(h.invoice_date).substr(0, 10)},
        {"Project", Text(h.project)},
        {"Terms", Text(h.terms)},
        {"Status", Text(h.status_text)}}) {
    if (!value.empty()) details += std::string(details.empty() ? "" : "\n") + label + ": " + value;
  }
  d.Row({{seller, w / 2}, {details, w / 2, Align::kRight}});
  d.Skip(8);
  std::string buyer = "Bill to\n" + AddressOf(parties.buyer);
  if (!parties.buyer.identifier.empty()) buyer += "\n" + parties.buyer.identifier;
  d.Row({{buyer, w / 2}});
  if (!Blank(h.notes)) d.Row({{Text(h.notes), w}});
  d.Skip(10);

  const double date_w = 62, qty_w = 48, price_w = 62, amount_w = 72;
  const double desc_w = w - date_w - qty_w - price_w - amount_w;
  const std::string money = parties.currency.empty() ? "" : " (" + parties.currency + ")";
  const std::vector<Cell> time_heading = {{"Date", date_w},
                                          {"Work", desc_w},
                                          {"Hours", qty_w, Align::kRight},
                                          {"Rate", price_w, Align::kRight},
                                          {"Amount" + money, amount_w, Align::kRight}};
  const std::vector<Cell> expense_heading = {{"Date", date_w},
                                             {"Expense", desc_w + qty_w + price_w},
                                             {"Amount" + money, amount_w, Align::kRight}};
  bool time_started = false, expenses_started = false;
  for (const auto& line : copy.lines) {
    if (line.time) {
      if (!time_started) {
        d.Row(time_heading, 9, true);
        d.Rule();
        time_started = true;
      }
      d.Row({{line.date, date_w},
             {line.description, desc_w},
             {Hours(line.quantity), qty_w, Align::kRight},
             {line.price.Scaled() % 100 == 0 ? CentsText(line.price) : line.price.ToFixedString(),
              price_w, Align::kRight},
             {CentsText(line.net), amount_w, Align::kRight}},
            9, false, &time_heading);
    } else {
      if (!expenses_started) {
        d.Skip(8);
        d.Row(expense_heading, 9, true);
        d.Rule();
        expenses_started = true;
      }
      d.Row({{line.date, date_w},
             {line.description, desc_w + qty_w + price_w},
             {CentsText(line.net), amount_w, Align::kRight}},
            9, false, &expense_heading);
    }
  }
  d.Skip(10);

  const double label_w = 200, left = w - label_w - amount_w;
  const auto total_row = [&](const std::string& label, const std::string& value, bool bold) {
    d.Row({{"", left}, {label, label_w}, {value, amount_w, Align::kRight}}, bold ? 11 : 9, bold);
  };
  const auto has = [&](bool time) {
    return std::any_of(copy.lines.begin(), copy.lines.end(),
                       [time](const ClientCopy::Line& l) { return l.time == time; });
  };
  if (has(true)) total_row("Time", CentsText(copy.time), false);
  if (has(false)) total_row("Expenses", CentsText(copy.expenses), false);
  for (const auto& tax : copy.taxes) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.10g", tax.rate);
    total_row(tax.name + " " + rate + "% on " + CentsText(tax.taxable), CentsText(tax.amount),
              false);
  }
  total_row("Total" + money, CentsText(copy.payable), true);
  if (copy.rounding != Currency()) {
    total_row("Rounding to cents", copy.rounding.ToString(), false);
    total_row("Exact total", copy.exact_total.ToString(), false);
  }
  if (!parties.iban.empty()) {
    d.Skip(12);
    d.Row({{"Pay to IBAN " + parties.iban + (parties.bic.empty() ? "" : ", BIC " + parties.bic) +
                ", reference " + Text(h.invoice_number),
            w}});
  }
  return d.Finish();
}

}  // namespace brivos::documents
