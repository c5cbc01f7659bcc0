// Scores how speech-like demodulated audio is. Speech alternates voiced and unvoiced sounds
// with short pauses: blocks of about half a second are cut into 22 ms segments, and segments
// whose zero-crossing rate is well above the block's (fricatives) or whose energy is far
// below it (pauses) raise the score. Steady tones and steady noise score 0.
#pragma once

#include <cstdint>

#include "dsp/squelch_detector.h"
#include "foundation/scratch_buffer.h"

class CVoiceActivityDetector : public CSquelchDetector {
public:
    enum Class {
        kNotVoice = 0,  // a busy or quiet segment pattern, but too little of it
        kTooQuiet = 1,  // level below the level threshold
        kVoice = 2,
        kSteady = 3,  // neither busy nor quiet segments
    };

    CVoiceActivityDetector();  // 11025 Hz, blocks of 5512 samples, thresholds 0.15 and 0.2

    // rateHz > 0. Returns 1 when accepted (also when unchanged), 0 otherwise.
    int SetSampleRate(float rateHz);
    // Analysis block, 1 .. 16777216 samples. A partial block longer than the new length is
    // dropped. Returns 1 when accepted, 0 otherwise.
    int SetBlockLength(uint32_t samples);
    // Level below which a block is "too quiet" (>= 0); score needed for kVoice (>= 0).
    int SetLevelThreshold(float level);
    int SetVoiceThreshold(float score);

    // Take samples[0], samples[stride], ... below samples[count]; every full block is
    // analysed. Nothing happens for stride 0.
    void Process(const int16_t* samples, uint32_t count, uint32_t stride);

    // Restore the post-constructor running state (settings are kept).
    void Reset();

    float GetScore() const { return m_score; }  // 0..1
    int GetClass() const { return m_class; }
    float GetLevel() const { return m_level; }

private:
    void Analyse();

    // result
    int m_class = kTooQuiet;

    // running state carried between calls
    ScratchBuffer<int32_t> m_block;
    uint32_t m_fill = 0;
    uint32_t m_length = 5512;
    int32_t m_previousInput = 0;
    int32_t m_previousOutput = 0;

    // last analysis
    float m_zcr = 0.0f;
    float m_energy = 0.0f;

    // configuration
    float m_sampleRate = 11025.0f;
    float m_level = 0.0f;
    float m_levelThreshold = 0.15f;
    float m_score = 0.0f;
    float m_voiceThreshold = 0.2f;
};
