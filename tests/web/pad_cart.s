; The browser check's cartridge: it shows controller 1 and the frames it has
; run as colours, which a screenshot reads back.
;
; Rows 0 to 9 of tiles are the backdrop, colour $3F00: the controller byte
; (A = $01 ... Right = $80) in its low six bits. Rows 10 to 19 are tile 2,
; colour $3F02: the byte's top six bits. Rows 20 to 29 are tile 1, colour
; $3F01: the frames run, modulo 64. The main loop reads the controller
; without pause; the NMI writes the colours in the vertical blank and puts
; the scroll back.

.setcpu "6502"

PPUCTRL   = $2000
PPUMASK   = $2001
PPUSTATUS = $2002
PPUSCROLL = $2005
PPUADDR   = $2006
PPUDATA   = $2007
JOYPAD1   = $4016

CTRL_NMI   = $80                ; NMI on, nametable $2000, tiles at $0000
MASK_SHOW  = $0A                ; background on, in the leftmost columns too
COLOUR_BITS = $3F

.segment "ZEROPAGE"
pad:      .res 1                ; the last whole reading
reading:  .res 1                ; the reading in progress
frames:   .res 1

.segment "HEADER"
    .byte "NES", $1A, 1, 1, 0, 0
    .res 8, 0

.segment "CODE"
reset:
    sei
    ldx #$FF
    txs
    lda #0
    sta PPUCTRL
    sta PPUMASK
    ; Rows 10 to 19 of the nametable are tile 2, rows 20 to 29 tile 1.
    lda #$21
    sta PPUADDR
    lda #$40
    sta PPUADDR
    lda #2
    jsr fill_ten_rows
    lda #1
    jsr fill_ten_rows
    lda #0
    sta PPUSCROLL
    sta PPUSCROLL
    lda #MASK_SHOW
    sta PPUMASK
    lda #CTRL_NMI
    sta PPUCTRL
read_pad:
    lda #1
    sta JOYPAD1
    lda #0
    sta JOYPAD1
    ldx #8
read_bit:
    lda JOYPAD1
    lsr a                       ; the button into carry
    ror reading                 ; A arrives first and ends in bit 0
    dex
    bne read_bit
    lda reading
    sta pad
    jmp read_pad

; Ten rows of tile A from the current address.
fill_ten_rows:
    ldy #10
fill_row:
    ldx #32
fill_tile:
    sta PPUDATA
    dex
    bne fill_tile
    dey
    bne fill_row
    rts

nmi:
    pha
    inc frames
    lda PPUSTATUS               ; the address latch back to its first byte
    lda #$3F
    sta PPUADDR
    lda #$00
    sta PPUADDR
    lda pad
    and #COLOUR_BITS
    sta PPUDATA
    lda frames
    and #COLOUR_BITS
    sta PPUDATA
    lda pad
    lsr a
    lsr a
    sta PPUDATA
    lda #0
    sta PPUSCROLL
    sta PPUSCROLL
    lda #CTRL_NMI
    sta PPUCTRL
    pla
    rti

.segment "VECTORS"
    .word nmi, reset, reset

.segment "TILES"
    .res 16, $00                ; tile 0: colour 0
    .res 8, $FF                 ; tile 1: colour 1, the low plane set
    .res 8, $00
    .res 8, $00                 ; tile 2: colour 2, the high plane set
    .res 8, $FF
