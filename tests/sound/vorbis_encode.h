// Ogg Vorbis files made in the test with libvorbisenc.
#pragma once
#include <vorbis/vorbisenc.h>

#include <cstdint>
#include <vector>

namespace soundtest {

// Interleaved 16-bit samples at quality 0.4; empty when the encoder refuses.
inline std::vector<uint8_t> EncodeVorbis(const std::vector<int16_t>& samples, int channels, int rate) {
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    ogg_page og;
    ogg_packet op, header, comment, code;
    auto put_page = [&] { out.insert(out.end(), og.header, og.header + og.header_len),
                          out.insert(out.end(), og.body, og.body + og.body_len); };
    vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    while (ogg_stream_flush(&os, &og)) put_page();

    const size_t frames = samples.size() / channels, step = 1024;
    for (size_t at = 0;; at += step) {
        const size_t n = at >= frames ? 0 : at + step <= frames ? step : frames - at;
        if (n) {
            float** buf = vorbis_analysis_buffer(&vd, (int)n);
            for (size_t i = 0; i < n; i++)
                for (int ch = 0; ch < channels; ch++) buf[ch][i] = samples[(at + i) * channels + ch] / 32768.0f;
        }
        vorbis_analysis_wrote(&vd, (int)n);  // 0 marks the end
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                // A page for every few packets: damaged-page tests want many of them.
                while (ogg_stream_flush(&os, &og)) put_page();
            }
        }
        if (!n) break;
    }
    while (ogg_stream_flush(&os, &og)) put_page();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

}  // namespace soundtest
