// Loading Debian's Kanji font and turning all its glyphs into column words,
// ours against FreeType loading the same file and rendering the same
// glyphs. Prints FreeType's time over ours for the plain and the gzip file.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "guFont.h"
#include "ltio.h"
#include "nabort.h"

namespace {

const char *const kKanjiGz = "/usr/share/fonts/X11/misc/jiskan16.pcf.gz";
std::string plainPath;
std::vector<uint32> codes; // every code with a glyph

void ours(benchmark::State &state, const char *path)
{
    uint16_t words[32];
    for (auto _ : state) {
        GuFont *font = guFontNew(nullptr, path);
        GuGlyph g;
        for (uint32 code : codes) {
            guFontGlyph(font, code, &g);
            benchmark::DoNotOptimize(lt_get_glyph_bitmap(&g, words, 32));
            benchmark::ClobberMemory();
        }
        guFontClose(font);
        ntFree(font->filename);
        ntFree(font);
    }
}

void freetype(benchmark::State &state, const char *path)
{
    FT_Library lib;
    FT_Init_FreeType(&lib);
    for (auto _ : state) {
        FT_Face face;
        if (FT_New_Face(lib, path, 0, &face) != 0) {
            state.SkipWithError("FreeType cannot open the font");
            break;
        }
        FT_Set_Charmap(face, face->charmaps[0]);
        FT_Select_Size(face, 0);
        for (uint32 code : codes) {
            FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO);
            benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
}

void BM_Ours_Plain(benchmark::State &s) { ours(s, plainPath.c_str()); }
void BM_Ours_Gzip(benchmark::State &s) { ours(s, kKanjiGz); }
void BM_FreeType_Plain(benchmark::State &s) { freetype(s, plainPath.c_str()); }
void BM_FreeType_Gzip(benchmark::State &s) { freetype(s, kKanjiGz); }
BENCHMARK(BM_Ours_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Gzip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeType_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeType_Gzip)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

void prepare()
{
    gzFile in = gzopen(kKanjiGz, "rb");
    if (in == nullptr) {
        fprintf(stderr, "%s not found (Debian package xfonts-base)\n", kKanjiGz);
        exit(1);
    }
    char tmpl[] = "/tmp/bench_fonts-XXXXXX";
    int fd = mkstemp(tmpl);
    FILE *out = fdopen(fd, "wb");
    char buf[65536];
    int n;
    while ((n = gzread(in, buf, sizeof buf)) > 0)
        fwrite(buf, 1, static_cast<size_t>(n), out);
    gzclose(in);
    fclose(out);
    plainPath = tmpl;

    GuFont *font = guFontNew(nullptr, kKanjiGz);
    guFontOpen(font);
    const Pcf_Encodings *enc = font->encode;
    for (int row = enc->firstRow; row <= enc->lastRow; row++)
        for (int col = enc->firstCol; col <= enc->lastCol; col++) {
            uint32 code = static_cast<uint32>(row << 8 | col);
            size_t entry = size_t(row - enc->firstRow) * size_t(enc->lastCol - enc->firstCol + 1) +
                           size_t(col - enc->firstCol);
            const uchar *e = enc->encodings + 2 * entry;
            bool big = enc->format & PCF_FORMAT_BYTE_MSB;
            if ((big ? (e[0] << 8 | e[1]) : (e[1] << 8 | e[0])) != 0xffff)
                codes.push_back(code);
        }
    guFontClose(font);
}

} // namespace

int main(int argc, char **argv)
{
    prepare();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    remove(plainPath.c_str());
    printf("glyphs: %zu\n", codes.size());
    for (const char *kind : {"Plain", "Gzip"}) {
        double o = reporter.times[std::string("BM_Ours_") + kind];
        double f = reporter.times[std::string("BM_FreeType_") + kind];
        if (o > 0)
            printf("FreeType / ours, %s file: %.1f times\n", kind, f / o);
    }
    return 0;
}
