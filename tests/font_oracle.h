// Helpers for the font tests: PCF fixtures made by bdftopcf from the BDF
// files in tests/fonts, a small BDF reader for the expected dots, and
// FreeType as an independent reader of the same PCF files.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "guFont.h"
#include "testutil.h"

namespace fonttest {

// A glyph as rows of '#' and '.', one character per dot of its ink, with
// the metrics that place it.
struct Dots {
    int lbear = 0, rbear = 0, ascent = 0, descent = 0, width = 0;
    std::vector<std::string> rows;
    bool operator==(const Dots &o) const
    {
        return lbear == o.lbear && rbear == o.rbear && ascent == o.ascent && descent == o.descent &&
               width == o.width && rows == o.rows;
    }
};

inline std::ostream &operator<<(std::ostream &os, const Dots &d)
{
    os << "lbear " << d.lbear << " rbear " << d.rbear << " ascent " << d.ascent << " descent " << d.descent
       << " width " << d.width << "\n";
    for (const auto &r : d.rows)
        os << r << "\n";
    return os;
}

// The dots that a GuGlyph describes: dot x of a row is bit x mod 8 of byte
// x div 8.
inline Dots glyph_dots(const GuGlyph &g)
{
    Dots d{g.lbear, g.rbear, g.ascent, g.descent, g.width, {}};
    for (int y = 0; y < g.ascent + g.descent; y++) {
        std::string row;
        for (int x = 0; x < g.rbear - g.lbear; x++)
            row += (g.bitmap[y * g.bpl + x / 8] >> (x % 8)) & 1 ? '#' : '.';
        d.rows.push_back(row);
    }
    return d;
}

// Every glyph of a BDF file by its code.
inline std::map<unsigned, Dots> read_bdf(const std::string &path)
{
    std::map<unsigned, Dots> glyphs;
    std::ifstream in(path);
    std::string line;
    unsigned code = 0;
    Dots cur;
    int w = 0, h = 0;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string key;
        s >> key;
        if (key == "ENCODING") {
            s >> code;
        } else if (key == "DWIDTH") {
            s >> cur.width;
        } else if (key == "BBX") {
            int xo, yo;
            s >> w >> h >> xo >> yo;
            cur.lbear = xo;
            cur.rbear = xo + w;
            cur.ascent = h + yo;
            cur.descent = -yo;
        } else if (key == "BITMAP") {
            for (int y = 0; y < h && std::getline(in, line); y++) {
                unsigned long long v = std::stoull(line, nullptr, 16);
                int bits = static_cast<int>(line.size()) * 4;
                std::string row;
                for (int x = 0; x < w; x++)
                    row += (v >> (bits - 1 - x)) & 1 ? '#' : '.';
                cur.rows.push_back(row);
            }
        } else if (key == "ENDCHAR") {
            glyphs[code] = cur;
            cur = Dots{};
        }
    }
    return glyphs;
}

// Runs bdftopcf with `flags` on a BDF file of tests/fonts; returns the path.
inline std::string make_pcf(const testutil::ScratchDir &dir, const std::string &bdf,
                            const std::vector<std::string> &flags, const std::string &name)
{
    std::string out = dir.file(name);
    std::vector<std::string> args = flags;
    args.push_back("-o");
    args.push_back(out);
    args.push_back(std::string(TESTS_DIR) + "/fonts/" + bdf);
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    testutil::RunResult r = testutil::run_program("/usr/bin/bdftopcf", args, opt);
    if (r.status != 0)
        throw std::runtime_error("bdftopcf failed: " + r.err);
    return out;
}

// FreeType's reading of one PCF file.
class FreeTypeFont {
public:
    explicit FreeTypeFont(const std::string &path)
    {
        if (FT_Init_FreeType(&lib_) != 0 || FT_New_Face(lib_, path.c_str(), 0, &face_) != 0)
            throw std::runtime_error("FreeType cannot open " + path);
        // PCF fonts have one charmap of the font's own codes, not selected
        // by default since it is not Unicode.
        if (face_->num_charmaps > 0)
            FT_Set_Charmap(face_, face_->charmaps[0]);
        if (face_->num_fixed_sizes > 0)
            FT_Select_Size(face_, 0);
    }
    ~FreeTypeFont()
    {
        if (face_)
            FT_Done_Face(face_);
        FT_Done_FreeType(lib_);
    }
    FreeTypeFont(const FreeTypeFont &) = delete;
    FreeTypeFont &operator=(const FreeTypeFont &) = delete;

    // The glyph FreeType draws for `code`; for a code without a glyph,
    // FreeType's glyph 0, which its PCF driver makes the default character.
    Dots dots(unsigned code) const
    {
        FT_UInt index = FT_Get_Char_Index(face_, code);
        if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0)
            throw std::runtime_error("FreeType cannot load a glyph");
        FT_GlyphSlot g = face_->glyph;
        Dots d;
        d.lbear = g->bitmap_left;
        d.rbear = g->bitmap_left + static_cast<int>(g->bitmap.width);
        d.ascent = g->bitmap_top;
        d.descent = static_cast<int>(g->bitmap.rows) - g->bitmap_top;
        d.width = static_cast<int>(g->advance.x >> 6);
        for (unsigned y = 0; y < g->bitmap.rows; y++) {
            const unsigned char *row = g->bitmap.buffer + static_cast<long>(y) * g->bitmap.pitch;
            std::string s;
            for (unsigned x = 0; x < g->bitmap.width; x++)
                s += (row[x / 8] >> (7 - x % 8)) & 1 ? '#' : '.';
            d.rows.push_back(s);
        }
        return d;
    }

private:
    FT_Library lib_ = nullptr;
    FT_Face face_ = nullptr;
};

} // namespace fonttest
