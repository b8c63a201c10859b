// Motorola 3600 bit/s control-channel decoder.
//
// The channel is a continuous stream of 84-bit frames: the sync byte 0xAC, then a
// 76-bit interleaved, rate-1/2 coded block carrying one control word (see
// MotorolaBlock.h). We test for the sync byte at every bit, with no locked state, and
// decode the block in front of it once 12 more bits have come, so a block is released
// by the sync byte of the frame after it.
//
// A sync byte turns up in noise once in 256 bits and the checksum lets about one random
// block in a thousand through, which makes a phantom word a minute. So a word is
// trusted only when the frame spacing confirms it: the sync byte of the frame before
// sits right in front of its block, or the one of the frame after comes 84 bits later
// (the word then waits for it). Scanners and sound cards that invert the discriminator
// audio turn every bit over: the sync byte then reads 0x53, and such a frame is decoded
// from the inverted bits. Each frame is taken in the polarity its own sync shows, so a
// change of polarity costs a frame or two.
//
// Once a word is trusted the frame grid is known, and a weak signal often spoils a sync
// byte while its block still comes through. So for a few frames after a trusted word
// the blocks that fall on its grid are decoded in its polarity even where their sync
// bytes have a wrong bit or two (or one, a bit early or late on the grid: the slicer
// may lose or gain a bit in noise, and such a block always waits for the next frame).
// Such a block still needs a second sign besides the grid: a clean sync byte right
// after it, or else it waits for the frame after, whose clean sync byte or good block
// confirms it (any waiting word is confirmed by the good block that follows it, too).
// The checksum lets one noise block in a thousand through; two in a row, or one with a
// clean sync byte after it, is what keeps a signal that ends from leaving false words
// behind. Noise never starts a grid: it needs a trusted word first.
//
// Most messages are single words; affiliations and system announcements are two
// words (first word command 0x308, both flags set), and a voice grant may be preceded
// by the word of the radio that asked for it. So words pass through a three-word
// history and are interpreted in pairs one word late. Site and system identity words
// and the idle word 0x2F8 are handled at once and stay out of the history, so that
// they never split a pair; so is the control channel's word for itself, an individual
// word (flag 0) of address 0x1Fxx with its own channel number as the command, which
// must not be taken for a grant.
//
// Systems on 800 and 900 MHz number their channels from 0 (protocol/MotorolaBandPlan.h).
// The decoder knows a system only from the air, so the owner hands it the plans of the
// systems that have one; the words of such a system, once it has been announced, are
// read by that plan's rules: every command of the plan's channel range is a channel
// word, a grant is a request word (0x308 analog, 0x321 digital) of the calling radio
// followed by the channel word of the group or radio called, whatever their flags, and
// a channel word after anything else repeats a call already under way. Until the
// system is announced, its words are read by the rules of 380-759.
#pragma once

#include "decoders/DecoderOutput.h"
#include "decoders/LineBuilder.h"
#include "decoders/MotorolaBlock.h"
#include "dsp/CGMSKDemodulator.h"
#include "protocol/MotorolaBandPlan.h"
#include "protocol/commands.h"

#include <array>
#include <cstdint>

namespace velkor {

class CMotorola : public CGMSKDemodulator {
public:
    static constexpr int kBaudRate = 3600;

    // cmdWnd may be null: the channel is then decoded but nothing is posted.
    CMotorola(CmdSink* cmdWnd, int sampleRate, velkor::Notices& notices = velkor::stderrNotices());

    // bit is true for a bit of a negative run of samples.
    using CGMSKDemodulator::ProcessBit;
    void ProcessBit(bool bit, float reliability) override;

    // Interprets one word that passed the checksum.
    void HandleWord(motorola_word_s word);
    // Records a system identity and reports it when it is new.
    void SetSystem(uint16_t system);

    // The band plans of the systems that have one; from the next word on.
    void SetBandPlans(MotorolaPlans plans) { m_plans = std::move(plans); }

    uint16_t system() const { return m_system; }
    uint16_t controlChannel() const { return m_controlChannel; }

private:
    // first is null while the history has not yet been filled that far.
    void ExaminePair(const motorola_word_s* first, const motorola_word_s& second);
    // The current system's fixed plan, if it has one.
    const MotorolaBandPlan* FixedPlan() const;
    bool IsChannel(uint16_t command) const;
    // The control channel naming itself: flag 0, address 0x1Fxx, its own channel.
    bool IsOwnChannelWord(const motorola_word_s& word) const;
    void PostGrant(const motorola_word_s& channelWord, uint32_t originUnit);
    // A frame whose sync byte is in place: 0 none, 1 as sent, 2 inverted.
    int SyncPolarity() const;
    // The wrong bits of the sync byte in place, read in the given polarity.
    int SyncErrors(int polarity) const;
    bool DecodeBits(int polarity, motorola_word_s& word) const;
    // onGrid: the frame lies on the grid of the last trusted word; confirmed: the frame
    // before it was trusted just now.
    // True when the block checked good (the word is then trusted or waits).
    bool DecodeFrame(int polarity, bool onGrid, bool confirmed);
    // The word waits for the frame after it to confirm it.
    void Wait(const motorola_word_s& word, int polarity);
    // framesAgo: how many frames before the one in the register the word's block came.
    void Accept(const motorola_word_s& word, int polarity, int framesAgo);
    void PostLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Post(uint32_t code, CmdPayload payload) { m_out.post(code, std::move(payload)); }
    velkor_address_s Unit(uint32_t unit) const { return {m_system, 1, unit}; }

    enum { kOldest, kMiddle, kNewest };
    std::array<motorola_word_s, 3> m_history{};
    uint8_t m_historyWords = 0; // words that have entered the history, up to 3
    velkor::DecoderOutput m_out;
    velkor::LineBuilder m_line{96};
    MotorolaRegister m_register{};
    motorola::MotorolaReliability m_reliability{}; // of the register's bits
    uint32_t m_before = 0;                         // the 32 bits received before the register's oldest

    // Words whose block checked good, waiting for the sync byte of the frame after.
    struct Pending {
        motorola_word_s word;
        int polarity = 0;
        uint8_t bitsLeft = 0; // 0: free
    };
    std::array<Pending, 4> m_pending{};
    MotorolaPlans m_plans;
    uint16_t m_system = 0;
    uint16_t m_controlChannel = 0;
    uint8_t m_muteCountdown = 0; // 0: idle; else bits since the last good word, plus 1
    // Bits since the block of the last trusted word was in the register (saturating),
    // and that word's polarity: the frame grid that later blocks are looked for on.
    uint16_t m_sinceTrusted = UINT16_MAX;
    int m_gridPolarity = 0;
    uint16_t m_gridHandled = 0; // the grid frame (1 = the first after it) already decoded
};

} // namespace velkor
