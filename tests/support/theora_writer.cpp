#include "support/theora_writer.h"

#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

typedef std::vector<uint8_t> Bytes;

struct TimedPage {
    double time;       // seconds at which the page's last packet ends
    Bytes bytes;
};

void Append(Bytes& out, const ogg_page& pg) {
    out.insert(out.end(), pg.header, pg.header + pg.header_len);
    out.insert(out.end(), pg.body, pg.body + pg.body_len);
}

void TakePages(ogg_stream_state* os, bool flush, double time, std::vector<TimedPage>* pages) {
    ogg_page pg;
    while (flush ? ogg_stream_flush(os, &pg) : ogg_stream_pageout(os, &pg)) {
        TimedPage tp{time, {}};
        Append(tp.bytes, pg);
        pages->push_back(std::move(tp));
    }
}

void FillFlat(int n, const YuvFrame& f) {
    for (int y = 0; y < f.height; y++) std::memset(f.y + y * f.y_stride, FlatLuma(n), f.width);
    for (int y = 0; y < f.uv_height; y++) {
        std::memset(f.u + y * f.uv_stride, 128, f.uv_width);
        std::memset(f.v + y * f.uv_stride, 128, f.uv_width);
    }
}

struct AudioTrack {
    vorbis_info vi;
    vorbis_comment vc;
    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    int rate = 22050;
};

}  // namespace

std::vector<uint8_t> MakeTheoraMovie(const TheoraMovieRecipe& recipe) {
    th_info ti;
    th_info_init(&ti);
    ti.pic_width = recipe.pic_width;
    ti.pic_height = recipe.pic_height;
    ti.frame_width = (recipe.pic_width + 15) & ~15;
    ti.frame_height = (recipe.pic_height + 15) & ~15;
    ti.fps_numerator = recipe.fps_num;
    ti.fps_denominator = recipe.fps_den;
    ti.aspect_numerator = 1;
    ti.aspect_denominator = 1;
    ti.colorspace = TH_CS_UNSPECIFIED;
    ti.pixel_fmt = (th_pixel_fmt)recipe.pixel_fmt;
    ti.quality = recipe.quality;
    ti.keyframe_granule_shift = 6;
    th_enc_ctx* enc = th_encode_alloc(&ti);
    if (!enc) {
        std::fprintf(stderr, "theora_writer: th_encode_alloc refused the settings\n");
        th_info_clear(&ti);
        return {};
    }
    int kfi = recipe.keyframe_interval;
    th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &kfi, sizeof kfi);

    std::vector<TimedPage> pages;
    Bytes head;
    ogg_stream_state vs;
    ogg_stream_init(&vs, 0x1234);
    th_comment tc;
    th_comment_init(&tc);
    ogg_packet op;
    // The identification header goes alone on the first page.
    th_encode_flushheader(enc, &tc, &op);
    Bytes ident(op.packet, op.packet + op.bytes);
    const int forced_w = recipe.forced_width_mbs, forced_h = recipe.forced_height_mbs;
    if (forced_w) ident[10] = (uint8_t)(forced_w >> 8), ident[11] = (uint8_t)forced_w;
    if (forced_h) ident[12] = (uint8_t)(forced_h >> 8), ident[13] = (uint8_t)forced_h;
    op.packet = ident.data();
    ogg_stream_packetin(&vs, &op);
    ogg_page pg;
    while (ogg_stream_flush(&vs, &pg)) Append(head, pg);

    AudioTrack a;
    bool audio = recipe.audio_ms > 0;
    Bytes audio_headers;
    if (audio) {
        vorbis_info_init(&a.vi);
        vorbis_encode_init_vbr(&a.vi, 1, a.rate, 0.1f);
        vorbis_comment_init(&a.vc);
        vorbis_analysis_init(&a.vd, &a.vi);
        vorbis_block_init(&a.vd, &a.vb);
        ogg_stream_init(&a.os, 0x5678);
        ogg_packet h[3];
        vorbis_analysis_headerout(&a.vd, &a.vc, &h[0], &h[1], &h[2]);
        ogg_stream_packetin(&a.os, &h[0]);
        while (ogg_stream_flush(&a.os, &pg)) Append(head, pg);
        ogg_stream_packetin(&a.os, &h[1]);
        ogg_stream_packetin(&a.os, &h[2]);
        while (ogg_stream_flush(&a.os, &pg)) Append(audio_headers, pg);
    }
    while (th_encode_flushheader(enc, &tc, &op) > 0) ogg_stream_packetin(&vs, &op);
    while (ogg_stream_flush(&vs, &pg)) Append(head, pg);
    head.insert(head.end(), audio_headers.begin(), audio_headers.end());

    // Video frames.
    const int w = ti.frame_width, h = ti.frame_height;
    const int uvw = ti.pixel_fmt == TH_PF_444 ? w : w / 2, uvh = ti.pixel_fmt == TH_PF_420 ? h / 2 : h;
    Bytes y((size_t)w * h), u((size_t)uvw * uvh), v((size_t)uvw * uvh);
    YuvFrame f{y.data(), u.data(), v.data(), w, uvw, w, h, uvw, uvh};
    th_ycbcr_buffer buf;
    buf[0] = {w, h, w, y.data()};
    buf[1] = {uvw, uvh, uvw, u.data()};
    buf[2] = {uvw, uvh, uvw, v.data()};
    const double fps = (double)recipe.fps_num / recipe.fps_den;
    for (int n = 0; n < recipe.frames; n++) {
        if (recipe.fill) recipe.fill(n, f);
        else FillFlat(n, f);
        th_encode_ycbcr_in(enc, buf);
        while (th_encode_packetout(enc, n == recipe.frames - 1, &op) > 0) ogg_stream_packetin(&vs, &op);
        bool flush = recipe.frames_per_page > 0 && ((n + 1) % recipe.frames_per_page == 0 || n == recipe.frames - 1);
        TakePages(&vs, flush, (n + 1) / fps, &pages);
    }
    TakePages(&vs, true, recipe.frames / fps, &pages);

    if (audio) {
        const int total = (int)((int64_t)a.rate * recipe.audio_ms / 1000);
        int done = 0;
        while (true) {
            int chunk = std::min(1024, total - done);
            if (chunk > 0) {
                float** in = vorbis_analysis_buffer(&a.vd, chunk);
                for (int i = 0; i < chunk; i++) in[0][i] = 0.3f * (float)std::sin((done + i) * 0.0628);
                vorbis_analysis_wrote(&a.vd, chunk);
                done += chunk;
            } else {
                vorbis_analysis_wrote(&a.vd, 0);
            }
            while (vorbis_analysis_blockout(&a.vd, &a.vb) == 1) {
                vorbis_analysis(&a.vb, nullptr);
                vorbis_bitrate_addblock(&a.vb);
                while (vorbis_bitrate_flushpacket(&a.vd, &op)) ogg_stream_packetin(&a.os, &op);
            }
            double t = (double)done / a.rate;
            TakePages(&a.os, false, t, &pages);
            if (chunk <= 0) break;
        }
        TakePages(&a.os, true, (double)total / a.rate, &pages);
        ogg_stream_clear(&a.os);
        vorbis_block_clear(&a.vb);
        vorbis_dsp_clear(&a.vd);
        vorbis_comment_clear(&a.vc);
        vorbis_info_clear(&a.vi);
    }

    // Stable: pages of equal time keep the order they were made in.
    std::stable_sort(pages.begin(), pages.end(),
                     [](const TimedPage& p, const TimedPage& q) { return p.time < q.time; });
    Bytes out = head;
    for (const TimedPage& p : pages) out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    ogg_stream_clear(&vs);
    th_comment_clear(&tc);
    th_encode_free(enc);
    th_info_clear(&ti);
    return out;
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    size_t n = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0 && n == bytes.size();
}
