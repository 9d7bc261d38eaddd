// Ogg Vorbis files made in the test with libvorbisenc.
#pragma once
#include <vorbis/vorbisenc.h>

#include <cstdint>
#include <vector>

namespace soundtest {

// Interleaved 16-bit samples at quality 0.4, a page for every packet (damaged-page
// tests want many of them); empty when the encoder refuses.
inline std::vector<uint8_t> EncodeVorbis(const std::vector<int16_t>& samples, int channels, int rate) {
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    ogg_page og;
    ogg_packet op, comment, code;
    auto flush = [&] {
        while (ogg_stream_flush(&os, &og)) {
            out.insert(out.end(), og.header, og.header + og.header_len);
            out.insert(out.end(), og.body, og.body + og.body_len);
        }
    };
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) == 0) {
        vorbis_analysis_init(&vd, &vi);
        vorbis_block_init(&vd, &vb);
        ogg_stream_init(&os, 12345);
        vorbis_analysis_headerout(&vd, &vc, &op, &comment, &code);
        for (ogg_packet* p : {&op, &comment, &code}) ogg_stream_packetin(&os, p);
        flush();
        const size_t frames = samples.size() / channels;
        for (size_t at = 0, n = 1; n; at += n) {
            n = frames - at < 1024 ? frames - at : 1024;  // 0 marks the end
            float** buf = vorbis_analysis_buffer(&vd, 1024);
            for (size_t i = 0; i < n * channels; i++)
                buf[i % channels][i / channels] = samples[at * channels + i] / 32768.0f;
            vorbis_analysis_wrote(&vd, (int)n);
            while (vorbis_analysis_blockout(&vd, &vb) == 1) {
                vorbis_analysis(&vb, nullptr);
                vorbis_bitrate_addblock(&vb);
                while (vorbis_bitrate_flushpacket(&vd, &op)) ogg_stream_packetin(&os, &op), flush();
            }
        }
        ogg_stream_clear(&os);
        vorbis_block_clear(&vb);
        vorbis_dsp_clear(&vd);
    }
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

}  // namespace soundtest
