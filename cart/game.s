; Star catcher: the demo cartridge of this player. Catch the falling stars,
; dodge or shoot the meteors, keep your lives.
;
; This file holds the header, the shared definitions, start-up, the NMI
; frame handler and the main loop; the rest is included at the end.
;
; Index:
;   definitions      - hardware registers, banks, tiles, buttons, modes
;   variables        - zero page and RAM
;   header, vectors
;   reset            - start-up: clear memory, load tiles, show the title
;   nmi              - sprite copy, screen updates, sprite-0 split, sound
;   main loop        - one pass per frame, dispatching on the mode
;   helpers          - banks, screen on and off, update queue, random numbers
;
; Frame protocol: the main loop builds the next frame's sprites in oam_buf
; and its screen changes in the update queue, then sets nmi_ready and waits.
; The NMI copies both only when nmi_ready is set, so it never sees half a
; frame, and always waits for the sprite-0 hit so that the status bar stays
; still while the playfield below it scrolls.

.setcpu "6502"

; ---------------------------------------------------------------------------
; Definitions
; ---------------------------------------------------------------------------

PPUCTRL   = $2000
PPUMASK   = $2001
PPUSTATUS = $2002
PPUSCROLL = $2005
PPUADDR   = $2006
PPUDATA   = $2007
OAMDMA    = $4014
JOYPAD1   = $4016

; $2000: NMI on, sprites from the table at $1000, +1 address step.
CTRL_BASE = $88
; $2001: background and sprites on, also in the leftmost 8 columns.
MASK_SHOW = $1E

BANK_TILES = 0
BANK_SONG  = 1
BANK_WORLD = 2

; Background tiles (tiles.s draws them in this order).
FONT_FIRST     = $20
TILE_BAR       = 1
TILE_HEART     = 2
TILE_SKY_STAR  = 3
TILE_SKY_CROSS = 4
TILE_SKY_DIM   = 5
TILE_CLOUD     = 6              ; 6 tiles: top left, middle, right, bottom
TILE_MOUNT_UP  = 12
TILE_MOUNT_DOWN = 13
TILE_MOUNT_PEAK = 14
TILE_MOUNT_FLAT = 15
TILE_MOUNT_FILL = 16            ; and 17
TILE_GRASS     = 18
TILE_EARTH     = 19             ; and 20
TILE_BIG       = $80            ; 4 tiles per big letter

; Sprite tiles.
SPR_MARKER  = 0
SPR_HEAD    = 1
SPR_STAND   = 3
SPR_RUN     = 5
SPR_JUMP    = 7
SPR_STAR    = 9
SPR_TWINKLE = 10
SPR_METEOR  = 11
SPR_SHOT    = 15
SPR_MOON    = 16
SPR_SPARKLE = 20

; Sprite attributes.
ATTR_BEHIND = $20
ATTR_HFLIP  = $40
ATTR_VFLIP  = $80
PAL_PLAYER  = 0
PAL_STAR    = 1
PAL_METEOR  = 2
PAL_MOON    = 3

; Controller bits in the order they are shifted in (A first, Right last).
BTN_A      = $80
BTN_B      = $40
BTN_SELECT = $20
BTN_START  = $10
BTN_UP     = $08
BTN_DOWN   = $04
BTN_LEFT   = $02
BTN_RIGHT  = $01

MODE_TITLE = 0
MODE_PLAY  = 1
MODE_OVER  = 2

OFFSCREEN_Y = $FF               ; a sprite at this Y is not drawn

; ---------------------------------------------------------------------------
; Variables
; ---------------------------------------------------------------------------

.segment "ZEROPAGE"
nmi_count:   .res 1             ; frames since start-up
nmi_ready:   .res 1             ; main loop finished a frame for the NMI
ctrl_shadow: .res 1
mask_shadow: .res 1
split_on:    .res 1             ; wait for the sprite-0 hit this frame
scroll_x:    .res 1             ; playfield scroll, committed with the frame
scroll_nt:   .res 1             ; 0 or 1: which nametable the scroll starts in
cur_bank:    .res 1
pad:         .res 1
pad_prev:    .res 1
pad_new:     .res 1             ; pressed this frame
mode:        .res 1
t0:          .res 1             ; scratch of the main loop
t1:          .res 1
t2:          .res 1
t3:          .res 1
t4:          .res 1
t5:          .res 1
t6:          .res 1
t7:          .res 1
ptr:         .res 2
rng:         .res 2
nmi_t0:      .res 1             ; scratch of the NMI
nmi_ptr:     .res 2

.segment "BSS"
oam_buf     = $0200             ; copied to sprite memory by the NMI
pal_buf:    .res 32
pal_dirty:  .res 1
UPDATE_QUEUE_SIZE = 64
vq_buf:     .res UPDATE_QUEUE_SIZE + 1
vq_len:     .res 1
oam_next:   .res 1              ; next free byte of oam_buf while building

; ---------------------------------------------------------------------------
; Header and vectors
; ---------------------------------------------------------------------------

.segment "HEADER"
    .byte "NES", $1A
    .byte 4                     ; four 16 KB program banks
    .byte 0                     ; character RAM
    .byte 1                     ; nametables side by side
    .res 9, 0

.segment "VECTORS"
    .word nmi
    .word reset
    .word reset

.segment "CODE"

; ---------------------------------------------------------------------------
; Reset
; ---------------------------------------------------------------------------

reset:
    sei
    cld
    ldx #$FF
    txs
    lda #0
    sta PPUCTRL
    sta PPUMASK
    ; The picture unit needs a frame to wake up; two vertical blanks pass.
    bit PPUSTATUS
:   bit PPUSTATUS
    bpl :-
    lda #0
    tax
@clear:
    sta $00, x
    sta $0100, x
    sta $0300, x
    sta $0400, x
    sta $0500, x
    sta $0600, x
    sta $0700, x
    inx
    bne @clear
    jsr oam_clear
:   bit PPUSTATUS
    bpl :-

    jsr sound_init
    jsr tiles_upload
    lda #1
    sta rng
    ; The NMI runs from here on: screen changes wait for it.
    lda #CTRL_BASE
    sta ctrl_shadow
    sta PPUCTRL
    jsr title_enter
main_loop:
    jsr wait_frame
    jsr read_pad
    lda pad_new
    and #BTN_SELECT
    beq :+
    jsr theme_next
:   lda mode
    cmp #MODE_PLAY
    beq @play
    cmp #MODE_OVER
    beq @over
    jsr title_frame
    jmp @commit
@play:
    jsr play_frame
    jmp @commit
@over:
    jsr over_frame
@commit:
    jsr vq_close
    lda #1
    sta nmi_ready
    jmp main_loop

; ---------------------------------------------------------------------------
; NMI
; ---------------------------------------------------------------------------

nmi:
    pha
    txa
    pha
    tya
    pha
    lda nmi_ready
    beq @no_frame
    lda #>oam_buf
    sta OAMDMA
    jsr vram_flush
    lda #0
    sta nmi_ready
@no_frame:
    lda mask_shadow
    sta PPUMASK
    ; The status bar shows the top left of the first nametable.
    lda ctrl_shadow
    sta PPUCTRL
    bit PPUSTATUS
    lda #0
    sta PPUSCROLL
    sta PPUSCROLL
    inc nmi_count
    lda split_on
    beq @sound
    jsr split_wait
@sound:
    lda cur_bank
    pha
    ldy #BANK_SONG
    sty bank_values + BANK_SONG
    jsr sound_update
    pla
    tay
    sta bank_values, y
    pla
    tay
    pla
    tax
    pla
    rti

; Waits for the sprite-0 hit below the status bar, then points the rest of
; the frame at the playfield scroll. The hit flag of the previous frame
; stays up until the vertical blank ends, so first wait for it to drop.
; Both waits give up after some 20 000 cycles so that a frame without a hit
; cannot stall the game.
SPLIT_PATIENCE = 8
split_wait:
    ldx #SPLIT_PATIENCE
    ldy #0
@drop:
    bit PPUSTATUS
    bvc @rise_start
    dey
    bne @drop
    dex
    bne @drop
    rts
@rise_start:
    ldx #SPLIT_PATIENCE
    ldy #0
@rise:
    bit PPUSTATUS
    bvs @hit
    dey
    bne @rise
    dex
    bne @rise
    rts
@hit:
    lda scroll_x
    sta PPUSCROLL
    lda #0
    sta PPUSCROLL
    lda ctrl_shadow
    ora scroll_nt
    sta PPUCTRL
    rts

; Applies the palette (when changed) and the update queue: entries of
; address high, address low, count and the bytes, ended by a zero.
vram_flush:
    lda pal_dirty
    beq @queue
    bit PPUSTATUS
    lda #$3F
    sta PPUADDR
    lda #$00
    sta PPUADDR
    ldx #0
:   lda pal_buf, x
    sta PPUDATA
    inx
    cpx #32
    bne :-
    lda #0
    sta pal_dirty
@queue:
    ldx #0
@entry:
    lda vq_buf, x
    beq @done
    sta PPUADDR
    lda vq_buf + 1, x
    sta PPUADDR
    ldy vq_buf + 2, x
    inx
    inx
    inx
@byte:
    lda vq_buf, x
    sta PPUDATA
    inx
    dey
    bne @byte
    jmp @entry
@done:
    lda #0
    sta vq_len
    sta vq_buf
    rts

; ---------------------------------------------------------------------------
; Helpers
; ---------------------------------------------------------------------------

; The bank register takes the byte as written; writing it over a table cell
; that holds the same value keeps the write safe on boards where the ROM
; drives the bus too. Bits 5-6 stay 0 so that character RAM writes land in
; the one table the picture unit draws from.
bank_values:
    .byte 0, 1, 2, 3

; A = bank number.
bank_select:
    sta cur_bank
    tay
    sta bank_values, y
    rts

; A = high byte, X = low byte of a video address.
ppu_set_address:
    bit PPUSTATUS
    sta PPUADDR
    stx PPUADDR
    rts

wait_frame:
    lda nmi_count
:   cmp nmi_count
    beq :-
    rts

; Turns the picture and the NMI off at the start of a frame so that whole
; screens can be written; screen_on turns both back on from the next frame.
screen_off:
    jsr wait_frame
    lda #0
    sta split_on
    sta mask_shadow
    sta PPUCTRL
    sta PPUMASK
    rts

screen_on:
    jsr oam_clear
    lda #0
    sta vq_len
    sta vq_buf
    lda #1
    sta pal_dirty
    lda #MASK_SHOW
    sta mask_shadow
    lda ctrl_shadow
    sta PPUCTRL
    lda #1
    sta nmi_ready
    rts

read_pad:
    lda pad
    sta pad_prev
    lda #1
    sta JOYPAD1
    lda #0
    sta JOYPAD1
    ldx #8
:   lda JOYPAD1
    lsr a
    rol pad
    dex
    bne :-
    lda pad_prev
    eor #$FF
    and pad
    sta pad_new
    rts

; 16-bit Galois shift register; A = the new low byte.
random:
    lsr rng + 1
    ror rng
    bcc :+
    lda rng + 1
    eor #$B4
    sta rng + 1
:   lda rng
    rts

; All sprites off screen.
oam_clear:
    lda #OFFSCREEN_Y
    ldx #0
:   sta oam_buf, x
    inx
    bne :-
    lda #0
    sta oam_next
    rts

; Starts a frame's sprites: entry 0 is the marker for the sprite-0 split
; while the status bar shows, else hidden.
MARKER_Y = 23                   ; its set row meets the bar's top line
oam_begin:
    lda #OFFSCREEN_Y
    ldx split_on
    beq :+
    lda #MARKER_Y
:   sta oam_buf
    lda #SPR_MARKER
    sta oam_buf + 1
    lda #ATTR_BEHIND
    sta oam_buf + 2
    lda #0
    sta oam_buf + 3
    lda #4
    sta oam_next
    rts

; Adds one sprite: t4 = X, t5 = Y, t6 = tile, t7 = attributes. oam_next
; is 0 once all 64 entries are taken, and further sprites are dropped.
oam_put:
    ldx oam_next
    beq @done
    lda t5
    sta oam_buf, x
    lda t6
    sta oam_buf + 1, x
    lda t7
    sta oam_buf + 2, x
    lda t4
    sta oam_buf + 3, x
    txa
    clc
    adc #4
    sta oam_next
@done:
    rts

; Hides the entries from oam_next on.
oam_finish:
    ldx oam_next
    beq @done
    lda #OFFSCREEN_Y
:   sta oam_buf, x
    inx
    inx
    inx
    inx
    bne :-
@done:
    rts

; Opens an update queue entry at video address (A high, X low) for Y bytes;
; the bytes follow through vq_add. The caller keeps the queue within
; UPDATE_QUEUE_SIZE.
vq_open:
    pha
    tya
    pha
    ldy vq_len
    pla
    sta vq_buf + 2, y
    pla
    sta vq_buf, y
    txa
    sta vq_buf + 1, y
    iny
    iny
    iny
    sty vq_len
    rts

vq_add:
    ldy vq_len
    sta vq_buf, y
    iny
    sty vq_len
    rts

vq_close:
    ldy vq_len
    lda #0
    sta vq_buf, y
    rts

.include "screens.s"
.include "play.s"
.include "sound.s"
.include "tiles.s"
