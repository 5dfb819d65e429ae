; Sound: a four-channel tune (two pulses of different duties, triangle bass,
; noise drums), sound effects on the second pulse and the noise, and a chime
; on the sample channel.
;
; Index:
;   sample           - the chime, at the start of the fixed bank
;   note names, song - the tune's four streams (song bank)
;   driver           - stream reading and envelopes, run by the NMI
;   control          - start, stop, pause and resume from the main loop
;   effects          - jump, fire, blast, hit, catch
;
; The sound unit has no envelopes or length counters of its own here: every
; note's volume is set and lowered frame by frame by this driver.

APU_PULSE1 = $4000
APU_PULSE2 = $4004
APU_TRIANGLE = $4008
APU_NOISE  = $400C
APU_SAMPLE_RATE = $4010
APU_SAMPLE_ADDRESS = $4012
APU_SAMPLE_LENGTH = $4013
APU_CHANNELS = $4015

; ---------------------------------------------------------------------------
; Sample: a 1 kHz tone at the fastest rate whose swing shrinks every nine
; cycles. Each cycle is 16 rising and 16 falling steps; a smaller swing
; replaces some steps by up-down pairs that cancel. Bits play from bit 0,
; so little-endian words keep the order.
; ---------------------------------------------------------------------------

.segment "SAMPLES"
chime:
.repeat 64, i
    .word ((1 << (16 - 2 * (i / 9))) - 1) | (($5555 << (16 - 2 * (i / 9))) & $FFFF)
    .word ($5555 << (16 - 2 * (i / 9))) & $FFFF
.endrep
CHIME_RATE = $0F
CHIME_LENGTH = 15               ; 16 * 15 + 1 bytes

; ---------------------------------------------------------------------------
; Note names: note n sounds MIDI note n + 32 (1 is A1).
; ---------------------------------------------------------------------------

.repeat 5, o
    .ident(.sprintf("C%d", o + 2)) = 4 + 12 * o
    .ident(.sprintf("D%d", o + 2)) = 6 + 12 * o
    .ident(.sprintf("E%d", o + 2)) = 8 + 12 * o
    .ident(.sprintf("F%d", o + 2)) = 9 + 12 * o
    .ident(.sprintf("G%d", o + 2)) = 11 + 12 * o
    .ident(.sprintf("A%d", o + 2)) = 13 + 12 * o
    .ident(.sprintf("B%d", o + 2)) = 15 + 12 * o
.endrep
REST = 0
LOOP = $FF
KICK = 1
SNARE = 2
HAT = 3

.segment "RODATA"

; Pulse timer periods: 1 789 772 / (16 f) - 1 for f = 440 * 2^((n + 32 - 69) / 12).
note_periods:
    .word 0
    .word 2033, 1919, 1811, 1709, 1613, 1523, 1437, 1356, 1280, 1208, 1140, 1076
    .word 1016, 959, 905, 854, 806, 761, 718, 678, 640, 604, 570, 538
    .word 507, 479, 452, 427, 403, 380, 359, 338, 319, 301, 284, 268
    .word 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134
    .word 126, 119, 112, 106, 100, 94, 89, 84, 79, 75, 70, 66
    .word 63, 59, 56

; ---------------------------------------------------------------------------
; Song: each stream is note and length (in rows) pairs, then LOOP. All four
; last 128 rows, so they stay together.
; ---------------------------------------------------------------------------

.segment "SONG"

song_melody:
    .byte E5, 4, D5, 2, C5, 2, D5, 4, E5, 4
    .byte F5, 4, E5, 2, D5, 2, C5, 6, A4, 2
    .byte G4, 4, C5, 2, E5, 2, G5, 6, E5, 2
    .byte D5, 6, B4, 2, G4, 4, REST, 4
    .byte A5, 4, G5, 2, E5, 2, C5, 4, E5, 4
    .byte F5, 2, G5, 2, A5, 4, G5, 2, F5, 2, E5, 4
    .byte E5, 2, G5, 2, C6, 4, B5, 2, G5, 2, E5, 4
    .byte D5, 4, E5, 2, D5, 2, B4, 6, REST, 2
    .byte LOOP

.macro ARPEGGIO low, mid, high
    .byte low, 2, mid, 2, high, 2, mid, 2, low, 2, mid, 2, high, 2, mid, 2
.endmacro
song_chords:
.repeat 2
    ARPEGGIO A3, C4, E4
    ARPEGGIO A3, C4, F4
    ARPEGGIO G3, C4, E4
    ARPEGGIO G3, B3, D4
.endrep
    .byte LOOP

.macro BASS_BAR root, octave
.repeat 2
    .byte root, 1, REST, 1, root, 1, REST, 1, octave, 1, REST, 1, root, 1, REST, 1
.endrep
.endmacro
song_bass:
.repeat 2
    BASS_BAR A2, A3
    BASS_BAR F2, F3
    BASS_BAR C3, C4
    BASS_BAR G2, G3
.endrep
    .byte LOOP

.macro BEAT_BAR
    .byte KICK, 2, HAT, 2, SNARE, 2, HAT, 2, KICK, 2, HAT, 2, SNARE, 2, HAT, 2
.endmacro
song_drums:
.repeat 7
    BEAT_BAR
.endrep
    .byte KICK, 2, HAT, 2, SNARE, 2, HAT, 2, KICK, 2, SNARE, 2, SNARE, 1, SNARE, 1, SNARE, 2
    .byte LOOP

.segment "RODATA"

STREAMS = 4
stream_low:
    .byte <song_melody, <song_chords, <song_bass, <song_drums
stream_high:
    .byte >song_melody, >song_chords, >song_bass, >song_drums

; Per drum (kick, snare, hat): noise mode and period, volume, fall per frame.
drum_noise:
    .byte $0C, $06, $02
drum_volume:
    .byte 12, 10, 6
drum_fall:
    .byte 2, 1, 2

; ---------------------------------------------------------------------------
; Driver
; ---------------------------------------------------------------------------

FRAMES_PER_ROW = 7
MELODY_DUTY = $80               ; half duty
CHORD_DUTY  = $40               ; quarter duty
MELODY_VOLUME = 9
MELODY_HOLD = 4                 ; volume a held note settles at
CHORD_VOLUME = 5
CHORD_HOLD = 2
TRIANGLE_ON = $FF

.segment "BSS"
sound_muted:  .res 1
music_on:     .res 1
row_frames:   .res 1
stream_at_low:  .res STREAMS
stream_at_high: .res STREAMS
stream_wait:  .res STREAMS
melody_volume: .res 1
chord_volume: .res 1
chord_period: .res 2
drum_volume_now: .res 1
drum_fall_now: .res 1
envelope_tick: .res 1
effect_frames: .res 1           ; pulse 2 effect
effect_period: .res 2
effect_slide:  .res 1           ; signed change of the period per frame
effect_volume: .res 1
effect_duty:   .res 1
noise_effect_frames: .res 1
noise_effect_volume: .res 1

.segment "CODE"

sound_init:
    lda #0
    sta APU_CHANNELS
    sta APU_PULSE1
    sta APU_PULSE2
    sta APU_TRIANGLE
    sta APU_NOISE
    rts

; Once per frame from the NMI, with the song bank selected.
sound_update:
    lda sound_muted
    beq :+
    rts
:   lda music_on
    beq @envelopes
    dec row_frames
    bne @envelopes
    lda #FRAMES_PER_ROW
    sta row_frames
    ldx #STREAMS - 1
@stream:
    lda stream_wait, x
    bne :+
    jsr stream_event
:   dec stream_wait, x
    dex
    bpl @stream
@envelopes:
    inc envelope_tick
    lda envelope_tick
    and #3
    bne @drum
    lda melody_volume
    cmp #MELODY_HOLD + 1
    bcc :+
    dec melody_volume
:   lda chord_volume
    cmp #CHORD_HOLD + 1
    bcc @drum
    dec chord_volume
@drum:
    lda drum_volume_now
    sec
    sbc drum_fall_now
    bcs :+
    lda #0
:   sta drum_volume_now

    lda melody_volume
    ora #MELODY_DUTY
    sta APU_PULSE1
    lda effect_frames
    beq @chord
    jsr effect_step
    jmp @noise
@chord:
    lda chord_volume
    ora #CHORD_DUTY
    sta APU_PULSE2
@noise:
    lda noise_effect_frames
    beq @drum_out
    dec noise_effect_frames
    lda noise_effect_volume
    sta APU_NOISE
    beq :+
    dec noise_effect_volume
:   rts
@drum_out:
    lda drum_volume_now
    sta APU_NOISE
    rts

; Reads the next note of stream X and starts it.
stream_event:
    lda stream_at_low, x
    sta nmi_ptr
    lda stream_at_high, x
    sta nmi_ptr + 1
    ldy #0
    lda (nmi_ptr), y
    cmp #LOOP
    bne @note
    lda stream_low, x
    sta nmi_ptr
    sta stream_at_low, x
    lda stream_high, x
    sta nmi_ptr + 1
    sta stream_at_high, x
    lda (nmi_ptr), y
@note:
    sta nmi_t0
    iny
    lda (nmi_ptr), y
    sta stream_wait, x
    lda stream_at_low, x
    clc
    adc #2
    sta stream_at_low, x
    bcc :+
    inc stream_at_high, x
:   lda nmi_t0
    cpx #1
    bcc melody_note
    beq chord_note
    cpx #2
    beq bass_note
    jmp drum_hit

melody_note:
    beq @rest
    asl a
    tay
    lda note_periods, y
    sta $4002
    lda note_periods + 1, y
    sta $4003
    lda #MELODY_VOLUME
    sta melody_volume
    rts
@rest:
    sta melody_volume
    rts

; The chord voice gives way to an effect on the same pulse: its period is
; kept and written back when the effect ends.
chord_note:
    tay
    beq @rest
    asl a
    tay
    lda note_periods, y
    sta chord_period
    lda note_periods + 1, y
    sta chord_period + 1
    lda #CHORD_VOLUME
    sta chord_volume
    lda effect_frames
    bne :+
    jsr chord_period_out
:   rts
@rest:
    sta chord_volume
    rts

chord_period_out:
    lda chord_period
    sta $4006
    lda chord_period + 1
    sta $4007
    rts

; The triangle plays the written note: its wave takes twice as long per
; period step as a pulse's, so it gets half the pulse period.
bass_note:
    tay
    beq @rest
    asl a
    tay
    lda note_periods + 1, y
    lsr a
    sta nmi_t0
    lda note_periods, y
    ror a
    sta $400A
    lda nmi_t0
    sta $400B
    lda #TRIANGLE_ON
    sta APU_TRIANGLE
    rts
@rest:
    sta APU_TRIANGLE
    rts

drum_hit:
    tay
    beq @none
    dey
    lda drum_volume, y
    sta drum_volume_now
    lda drum_fall, y
    sta drum_fall_now
    lda noise_effect_frames
    bne @none
    lda drum_noise, y
    sta $400E
@none:
    rts

; One frame of the pulse-2 effect: slide the period, then hand the pulse
; back to the chords when it ends.
effect_step:
    lda effect_slide
    bpl :+
    dec effect_period + 1
:   clc
    adc effect_period
    sta effect_period
    bcc :+
    inc effect_period + 1
:   lda effect_period
    sta $4006
    lda effect_period + 1
    and #7
    sta $4007
    lda effect_volume
    ora effect_duty
    sta APU_PULSE2
    dec effect_frames
    bne :+
    jsr chord_period_out
:   rts

; ---------------------------------------------------------------------------
; Control (main loop)
; ---------------------------------------------------------------------------

music_start:
    lda #0
    sta music_on
    ldx #STREAMS - 1
:   lda stream_low, x
    sta stream_at_low, x
    lda stream_high, x
    sta stream_at_high, x
    lda #0
    sta stream_wait, x
    dex
    bpl :-
    lda #1
    sta row_frames
    sta music_on
    rts

music_stop:
    lda #0
    sta music_on
    sta melody_volume
    sta chord_volume
    sta drum_volume_now
    sta APU_TRIANGLE
    rts

; Silences every channel at once; the driver stays still until resumed.
sound_pause:
    lda #1
    sta sound_muted
    lda #0
    sta APU_PULSE1
    sta APU_PULSE2
    sta APU_TRIANGLE
    sta APU_NOISE
    sta APU_CHANNELS
    sta effect_frames
    sta noise_effect_frames
    rts

sound_resume:
    lda #0
    sta sound_muted
    rts

; ---------------------------------------------------------------------------
; Effects: each keeps X and Y. The frame count is cleared first and stored
; last so that the NMI never runs an effect that is half set up.
; ---------------------------------------------------------------------------

; Pulse-2 effects: start period, slide, frames, volume, duty.
EFFECT_JUMP = 0
EFFECT_FIRE = 5
EFFECT_HIT  = 10
effects:
    .byte <320, >320, <-14, 12, 9 | $80
    .byte <60, >60, 12, 8, 8 | $00
    .byte <400, >400, 30, 24, 12 | $C0

sfx_jump:
    pha
    txa
    pha
    ldx #EFFECT_JUMP
    jsr effect_start
    pla
    tax
    pla
    rts

sfx_fire:
    pha
    txa
    pha
    ldx #EFFECT_FIRE
    jsr effect_start
    pla
    tax
    pla
    rts

; Starts the pulse-2 effect at offset X of `effects`.
effect_start:
    lda #0
    sta effect_frames
    lda effects, x
    sta effect_period
    lda effects + 1, x
    sta effect_period + 1
    lda effects + 2, x
    sta effect_slide
    lda effects + 4, x
    and #$0F
    sta effect_volume
    lda effects + 4, x
    and #$C0
    sta effect_duty
    lda effects + 3, x
    sta effect_frames
    rts

; A meteor shot to pieces: a short burst of noise.
BLAST_NOISE = $04
BLAST_VOLUME = 13
sfx_blast:
    pha
    lda #0
    sta noise_effect_frames
    lda #BLAST_NOISE
    sta $400E
    lda #BLAST_VOLUME
    sta noise_effect_volume
    lda #BLAST_VOLUME + 1
    sta noise_effect_frames
    pla
    rts

; The player is hit: a falling tone and a long low rumble.
HIT_NOISE = $0B
HIT_VOLUME = 15
sfx_hit:
    pha
    txa
    pha
    ldx #EFFECT_HIT
    jsr effect_start
    lda #0
    sta noise_effect_frames
    lda #HIT_NOISE
    sta $400E
    lda #HIT_VOLUME
    sta noise_effect_volume
    lda #HIT_VOLUME + 8
    sta noise_effect_frames
    pla
    tax
    pla
    rts

; A caught star: the chime on the sample channel, restarted if it still
; plays.
sfx_catch:
    pha
    lda #CHIME_RATE
    sta APU_SAMPLE_RATE
    lda #<((chime - $C000) / 64)
    sta APU_SAMPLE_ADDRESS
    lda #CHIME_LENGTH
    sta APU_SAMPLE_LENGTH
    lda #$00
    sta APU_CHANNELS
    lda #$10
    sta APU_CHANNELS
    pla
    rts
