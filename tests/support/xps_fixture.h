#pragma once
// Writes small XPS documents for tests: pages of a given size holding filled rectangles of
// known colours at known places, text in an embedded font and a JPEG image, so that tests know
// which colour to expect where. Sizes and positions are in XPS units (1/96 inch); at 96 dots
// per inch one unit is one pixel.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace xpsfixture {

// The colour of the JPEG image that AddImage places (it is one flat colour).
constexpr uint32_t kImageColour = 0x2060A0;

enum class ImageFormat { Jpeg, ProgressiveJpeg, Png };

// How a resource that a page names is broken.
enum class BrokenPart {
    Missing,  // the package has no such part
    Garbage,  // the part is there, but holds bytes of no known format
};

class XpsDocumentBuilder {
  public:
    // Adds a page and returns its index (from 0).
    int AddPage(double width, double height);
    // Adds a page that the document lists but whose part is missing from the package, so
    // that a reader fails on that page alone.
    int AddMissingPage(double width, double height);
    // A rectangle filled with colour 0xRRGGBB, opaque.
    void AddRect(int page, double x, double y, double width, double height, uint32_t colour);
    // One line of text (UTF-8) in DejaVu Sans, its baseline starting at (x, y); size is the
    // em size in XPS units. The font, cut down to the characters used, goes into the package.
    void AddText(int page, double x, double y, double size, const std::string& text,
                 uint32_t colour = 0x000000);
    // A Glyphs element in DejaVu Sans as written: its UnicodeString (UTF-8), its Indices
    // (cluster map and glyph numbers, possibly empty), BidiLevel, StyleSimulations (none when
    // empty) and Fill (#AARRGGBB). The glyphs of the characters of shapes (UTF-8) are kept in
    // the font too, for Indices to name.
    void AddGlyphs(int page, double x, double y, double size, const std::string& text,
                   const std::string& indices, int bidiLevel = 0, const std::string& shapes = "",
                   const std::string& styleSimulations = "", const std::string& fill = "#FF000000");
    // The glyph number of c in the font AddGlyphs uses (0 when it has none).
    static uint32_t FontGlyph(char32_t c);
    // The flat-coloured JPEG image (kImageColour) stretched over the rectangle.
    void AddImage(int page, double x, double y, double width, double height);
    // An image part of the given bytes (extension ".jpg", ".png", ...) of pixelWidth x
    // pixelHeight pixels, stretched over the rectangle, or tiled over it in tiles of tile x
    // tile units when tile is given.
    void AddImagePart(int page, double x, double y, double width, double height,
                      const std::vector<uint8_t>& bytes, const std::string& extension,
                      double pixelWidth, double pixelHeight, double tile = 0);
    // An image whose header declares width x height pixels while its file is tiny (the
    // pixel data stops short), stretched whole over the rectangle: a reader that believes the
    // header needs width x height pixels of memory to draw it.
    void AddImageDeclaring(int page, double x, double y, double width, double height,
                           ImageFormat format, uint32_t declaredWidth, uint32_t declaredHeight);
    // An image brush over the rectangle whose image part is broken as how says.
    void AddBrokenImage(int page, double x, double y, double width, double height,
                        BrokenPart how);
    // A line of text whose font part is broken as how says. Returns the part's name; given
    // as samePart, a later line uses that part again instead of a new one.
    std::string AddTextInBrokenFont(int page, double x, double y, double size,
                                    const std::string& text, BrokenPart how,
                                    const std::string& samePart = "");
    // The JPEG image tiled over the rectangle in tiles of tile x tile units.
    void AddTiledImage(int page, double x, double y, double width, double height, double tile);
    // A rectangle filled with a linear gradient from colour `from` at its left edge to `to` at
    // its right edge.
    void AddLinearGradient(int page, double x, double y, double width, double height,
                           uint32_t from, uint32_t to);
    // A rectangle filled with a radial gradient from `inner` at its centre to `outer` at the
    // ellipse touching its sides (and beyond).
    void AddRadialGradient(int page, double x, double y, double width, double height,
                           uint32_t inner, uint32_t outer);
    // A rectangle tiled with cells of cell x cell units, each holding a square of colour in
    // its top left quarter (a tiled visual brush).
    void AddTiledSquares(int page, double x, double y, double width, double height, double cell,
                         uint32_t colour);
    // A rectangle of colour faded by an opacity mask from opaque at the left to transparent
    // at the right.
    void AddFadedRect(int page, double x, double y, double width, double height, uint32_t colour);
    // A straight stroke with a triangular start cap and a round end cap.
    void AddCappedLine(int page, double x0, double y0, double x1, double y1, double thickness,
                       uint32_t colour);

    // Writes the document in the OpenXPS flavour (the markup's namespace and the relationship
    // types of the OpenXPS standard) rather than as Microsoft XPS.
    void UseOpenXps(bool openXps) { openXps_ = openXps; }
    // A filled path with the given abbreviated geometry as it stands, however malformed.
    void AddPathData(int page, const std::string& data, uint32_t colour);
    // Elements written into the page as they stand, however deep or malformed.
    void AddMarkup(int page, const std::string& markup) { PageAt(page).markup += markup; }
    // A canvas under an opacity mask fading from opaque at its left edge to transparent at its
    // right, holding a rectangle of colour over the whole area and one line of black text.
    void AddMaskedText(int page, double x, double y, double width, double height,
                       uint32_t colour, const std::string& text);
    // A rectangle of colour under an opacity mask of another brush: the JPEG image over the
    // middle third of the rectangle (Image), or a tiled visual brush of cells of cell x cell
    // units, each opaque in its top left quarter only (TiledSquares).
    enum class MaskBrush { Image, TiledSquares };
    void AddBrushMaskedRect(int page, double x, double y, double width, double height,
                            uint32_t colour, MaskBrush brush, double cell = 40);
    // A polyline (x, y pairs) stroked with a linear gradient from `from` at the left of its
    // bounds to `to` at the right.
    void AddGradientStroke(int page, const std::vector<double>& points, double thickness,
                           uint32_t from, uint32_t to);
    // A straight stroke with the given caps (Flat, Square, Round, Triangle) and, when dashes
    // is not empty, a dash array (in multiples of the thickness) with its dash cap.
    void AddStyledLine(int page, double x0, double y0, double x1, double y1, double thickness,
                       uint32_t colour, const std::string& startCap, const std::string& endCap,
                       const std::string& dashes = "", const std::string& dashCap = "Flat");
    // Hyperlinks (FixedPage.NavigateUri): a filled rectangle, a line of text, and a canvas
    // holding a filled rectangle, each linking to uri.
    void AddLinkedRect(int page, double x, double y, double width, double height, uint32_t colour,
                       const std::string& uri);
    void AddLinkedText(int page, double x, double y, double size, const std::string& text,
                       const std::string& uri);
    void AddLinkedCanvas(int page, double x, double y, double width, double height,
                         uint32_t colour, const std::string& uri);
    // A line of text whose Glyphs element carries Name="name".
    void AddNamedText(int page, double x, double y, double size, const std::string& text,
                      const std::string& name);
    // A LinkTarget of the page in the FixedDocument.
    void AddLinkTarget(int page, const std::string& name);
    // An OutlineEntry of the document structure, in order.
    void AddOutlineEntry(int level, const std::string& title, const std::string& target);
    // The FixedPage's BleedBox and ContentBox ("x,y,w,h"); an empty text leaves one out.
    void SetPageBoxes(int page, const std::string& bleedBox, const std::string& contentBox);
    // Stores the page's FixedPage part as three interleaved pieces ("[0].piece" ... "[2].last.piece").
    void StoreInPieces(int page) { PageAt(page).pieced = true; }
    // A core property (element "dc:title", "dc:creator", "dcterms:created", ...) of the package,
    // kept in a part that the package relationships name.
    void AddCoreProperty(const std::string& element, const std::string& value);

    int PageCount() const { return static_cast<int>(pages_.size()); }
    // The package bytes; empty when the font could not be read.
    std::vector<uint8_t> Build() const;
    // Writes the package; false on failure.
    bool WriteTo(const std::string& path) const;

  private:
    struct Page {
        double width = 0;
        double height = 0;
        std::string markup;  // the elements inside FixedPage
        bool usesFont = false;
        bool usesImage = false;
        bool missing = false;
        std::vector<std::string> resources;  // further parts the page needs, by name
        bool pieced = false;
    };
    Page& PageAt(int page);
    // A new part name below /Resources/ ending in extension, different from every other.
    std::string NewResourceName(const std::string& extension);
    // An image brush path filling the rectangle with the whole of the image part, whose size
    // in XPS units is viewWidth x viewHeight; tiled in tiles of tile x tile units if tile > 0.
    void AddImageBrush(int page, double x, double y, double width, double height,
                       const std::string& part, double viewWidth, double viewHeight,
                       double tile = 0);
    std::string PageAttributes(int page) const;

    std::vector<Page> pages_;
    // Parts beyond the font and the flat image, written as they are: name (without the
    // leading slash) and bytes.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> parts_;
    int resourceCount_ = 0;
    bool openXps_ = false;
    std::u32string textUsed_;  // characters of every text, for the font subset
    std::map<int, std::string> pageAttributes_;            // more FixedPage attributes
    std::map<int, std::vector<std::string>> linkTargets_;  // names the FixedDocument lists
    std::string outline_;                                  // OutlineEntry elements
    std::string coreProperties_;                           // elements of coreProperties
};

}  // namespace xpsfixture
