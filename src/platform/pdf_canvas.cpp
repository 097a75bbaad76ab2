#include "pdf_canvas.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <stdexcept>

namespace kvad::platform {
namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
    try {
        bytes->insert(bytes->end(), data, data + length);
    } catch (...) {
        return CAIRO_STATUS_NO_MEMORY;
    }
    return CAIRO_STATUS_SUCCESS;
}

bool FamilyInstalled(const char* wanted) {
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(pango_cairo_font_map_get_default(), &families, &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        found = g_ascii_strcasecmp(pango_font_family_get_name(families[i]), wanted) == 0;
    }
    g_free(static_cast<void*>(families));
    return found;
}

int PangoUnits(double points) {
    return pango_units_from_double(points);
}

guint16 Channel(double grey) {
    return static_cast<guint16>(std::lround(grey * 65535.0));
}

} // namespace

struct PdfCanvas::Impl {
    // Nested rather than in the file's anonymous namespace: a member's type must not have less
    // linkage than the class (which a unity build would report).
    struct SurfaceDeleter {
        void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
    };
    struct ContextDeleter {
        void operator()(cairo_t* c) const noexcept { cairo_destroy(c); }
    };
    struct GObjectDeleter {
        void operator()(void* object) const noexcept { g_object_unref(object); }
    };
    struct FontDeleter {
        void operator()(PangoFontDescription* f) const noexcept { pango_font_description_free(f); }
    };
    struct AttrListDeleter {
        void operator()(PangoAttrList* list) const noexcept { pango_attr_list_unref(list); }
    };

    std::vector<std::uint8_t> bytes;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
    std::unique_ptr<cairo_t, ContextDeleter> cr;
    std::unique_ptr<PangoLayout, GObjectDeleter> layout;
    std::unique_ptr<PangoFontDescription, FontDeleter> font;

    /// Lays `text` out in the shared layout.
    void Prepare(const RichText& text, const TextBox& box) {
        std::string joined;
        std::unique_ptr<PangoAttrList, AttrListDeleter> attributes(pango_attr_list_new());
        for (const Span& span : text) {
            const auto start = static_cast<guint>(joined.size());
            joined += span.text;
            const auto end = static_cast<guint>(joined.size());
            const auto add = [&](PangoAttribute* attribute) {
                attribute->start_index = start;
                attribute->end_index = end;
                pango_attr_list_insert(attributes.get(), attribute);
            };
            add(pango_attr_size_new(PangoUnits(span.style.size)));
            add(pango_attr_weight_new(span.style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL));
            add(pango_attr_style_new(span.style.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL));
            const guint16 grey = Channel(span.style.grey);
            add(pango_attr_foreground_new(grey, grey, grey));
        }
        PangoLayout* l = layout.get();
        // An empty block still takes the height of a line in its own size.
        pango_font_description_set_size(font.get(),
                                        PangoUnits(text.empty() ? 8 : text.front().style.size));
        pango_layout_set_font_description(l, font.get());
        pango_layout_set_text(l, joined.c_str(), static_cast<int>(joined.size()));
        pango_layout_set_attributes(l, attributes.get());
        pango_layout_set_width(l, box.width > 0 ? PangoUnits(box.width) : -1);
        pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(l, box.align == Align::Right    ? PANGO_ALIGN_RIGHT
                                      : box.align == Align::Center ? PANGO_ALIGN_CENTER
                                                                   : PANGO_ALIGN_LEFT);
        if (box.maxHeight > 0) {
            pango_layout_set_height(l, PangoUnits(box.maxHeight));
            pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_END);
        } else {
            pango_layout_set_height(l, -1);
            pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_NONE);
        }
    }

    [[nodiscard]] double LayoutHeight() const {
        int width = 0;
        int height = 0;
        pango_layout_get_size(layout.get(), &width, &height);
        return pango_units_to_double(height);
    }
};

PdfCanvas::PdfCanvas(double pageWidth, double pageHeight, const std::string& title)
    : impl_(std::make_unique<Impl>()) {
    if (!FamilyInstalled(kFontFamily)) {
        throw std::runtime_error(std::string("the font \"") + kFontFamily +
                                 "\" that orders are printed in is not installed (Debian "
                                 "package fonts-dejavu-core)");
    }
    impl_->surface.reset(
        cairo_pdf_surface_create_for_stream(AppendBytes, &impl_->bytes, pageWidth, pageHeight));
    cairo_pdf_surface_set_metadata(impl_->surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(impl_->surface.get(), CAIRO_PDF_METADATA_CREATOR, "KVAD_NSO");
    impl_->cr.reset(cairo_create(impl_->surface.get()));
    impl_->layout.reset(pango_cairo_create_layout(impl_->cr.get()));
    impl_->font.reset(pango_font_description_from_string(kFontFamily));
    pango_layout_set_font_description(impl_->layout.get(), impl_->font.get());
}

PdfCanvas::~PdfCanvas() = default;

double PdfCanvas::Height(const RichText& text, const TextBox& box) {
    impl_->Prepare(text, box);
    return impl_->LayoutHeight();
}

double PdfCanvas::Width(const std::string& text, const TextStyle& style) {
    impl_->Prepare(Plain(text, style), TextBox{});
    int width = 0;
    int height = 0;
    pango_layout_get_size(impl_->layout.get(), &width, &height);
    return pango_units_to_double(width);
}

double PdfCanvas::Draw(double x, double y, const RichText& text, const TextBox& box) {
    impl_->Prepare(text, box);
    cairo_t* cr = impl_->cr.get();
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, impl_->layout.get());
    return impl_->LayoutHeight();
}

void PdfCanvas::Line(double x1, double y1, double x2, double y2, double lineWidth, double grey) {
    cairo_t* cr = impl_->cr.get();
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_set_line_width(cr, lineWidth);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
}

void PdfCanvas::FillRect(double x, double y, double width, double height, double grey) {
    cairo_t* cr = impl_->cr.get();
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
}

void PdfCanvas::StrokeRect(double x, double y, double width, double height, double lineWidth,
                           double grey) {
    cairo_t* cr = impl_->cr.get();
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_set_line_width(cr, lineWidth);
    cairo_rectangle(cr, x, y, width, height);
    cairo_stroke(cr);
}

void PdfCanvas::EndPage() {
    cairo_show_page(impl_->cr.get());
}

std::vector<std::uint8_t> PdfCanvas::Finish() {
    impl_->layout.reset();
    const cairo_status_t drawing = cairo_status(impl_->cr.get());
    impl_->cr.reset();
    cairo_surface_finish(impl_->surface.get());
    const cairo_status_t writing = cairo_surface_status(impl_->surface.get());
    if (drawing != CAIRO_STATUS_SUCCESS || writing != CAIRO_STATUS_SUCCESS) {
        // The drawing library's own account on a line of its own, beneath the plain one.
        throw std::runtime_error(
            std::string("the PDF could not be made\n") +
            cairo_status_to_string(drawing != CAIRO_STATUS_SUCCESS ? drawing : writing));
    }
    return std::move(impl_->bytes);
}

} // namespace kvad::platform
