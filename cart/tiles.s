; Tile graphics: the font, the background set and the sprite set, drawn as
; text rows so that they can be read and changed here. Character RAM starts
; empty; tiles_upload fills both pattern tables at start-up.
;
; Index:
;   tile macros     - text rows into pattern bytes
;   font            - 1-bit glyphs for $20-$5A, expanded to colour 1
;   background set  - bar, heart, sky, clouds, mountains, ground
;   sprite set      - player, stars, meteor, shot, moon, sparkle
;   tiles_upload    - copies everything into character RAM, builds big letters

; ---------------------------------------------------------------------------
; Tile macros
; ---------------------------------------------------------------------------

; One pattern byte from eight characters of `s` starting at `o`: a pixel
; whose character is `ca` or `cb` sets its bit.
.macro ROWBYTE s, o, ca, cb
    rowbits .set 0
    .repeat 8, k
        .if .strat(s, o + k) = ca || .strat(s, o + k) = cb
            rowbits .set rowbits | (1 << (7 - k))
        .endif
    .endrep
    .byte rowbits
.endmacro

; An 8x8 tile taken from columns o..o+7 of eight rows; characters '.', '1',
; '2' and '3' are the pixel values. Low plane first, then the high plane.
.macro TILE_AT o, r0, r1, r2, r3, r4, r5, r6, r7
    ROWBYTE r0, o, '1', '3'
    ROWBYTE r1, o, '1', '3'
    ROWBYTE r2, o, '1', '3'
    ROWBYTE r3, o, '1', '3'
    ROWBYTE r4, o, '1', '3'
    ROWBYTE r5, o, '1', '3'
    ROWBYTE r6, o, '1', '3'
    ROWBYTE r7, o, '1', '3'
    ROWBYTE r0, o, '2', '3'
    ROWBYTE r1, o, '2', '3'
    ROWBYTE r2, o, '2', '3'
    ROWBYTE r3, o, '2', '3'
    ROWBYTE r4, o, '2', '3'
    ROWBYTE r5, o, '2', '3'
    ROWBYTE r6, o, '2', '3'
    ROWBYTE r7, o, '2', '3'
.endmacro

.macro TILE r0, r1, r2, r3, r4, r5, r6, r7
    TILE_AT 0, r0, r1, r2, r3, r4, r5, r6, r7
.endmacro

; Eight rows of sixteen characters: the left tile, then the right one.
.macro HALF r0, r1, r2, r3, r4, r5, r6, r7
    TILE_AT 0, r0, r1, r2, r3, r4, r5, r6, r7
    TILE_AT 8, r0, r1, r2, r3, r4, r5, r6, r7
.endmacro

; A font glyph: seven rows where '#' is set; the eighth row is the gap
; between text lines.
.macro GLYPH r0, r1, r2, r3, r4, r5, r6
    ROWBYTE r0, 0, '#', '#'
    ROWBYTE r1, 0, '#', '#'
    ROWBYTE r2, 0, '#', '#'
    ROWBYTE r3, 0, '#', '#'
    ROWBYTE r4, 0, '#', '#'
    ROWBYTE r5, 0, '#', '#'
    ROWBYTE r6, 0, '#', '#'
    .byte 0
.endmacro

.macro BLANK_GLYPHS n
    .res 8 * n, 0
.endmacro

.segment "TILES"

; ---------------------------------------------------------------------------
; Font: glyph n is character $20 + n, so text bytes are tile numbers.
; ---------------------------------------------------------------------------

font_glyphs:
    BLANK_GLYPHS 1                                                                     ; space
    GLYPH "..##....", "..##....", "..##....", "..##....", "..##....", "........", "..##...." ; !
    BLANK_GLYPHS 11                                                                    ; " to ,
    GLYPH "........", "........", "........", ".#####..", "........", "........", "........" ; -
    GLYPH "........", "........", "........", "........", "........", "..##....", "..##...." ; .
    BLANK_GLYPHS 1                                                                     ; /
    GLYPH ".#####..", "##...##.", "##..###.", "##.####.", "####.##.", "###..##.", ".#####.." ; 0
    GLYPH "..##....", ".###....", "..##....", "..##....", "..##....", "..##....", "######.." ; 1
    GLYPH ".#####..", "##...##.", ".....##.", "..####..", ".###....", "##......", "#######." ; 2
    GLYPH "#######.", "....##..", "...##...", "..####..", ".....##.", "##...##.", ".#####.." ; 3
    GLYPH "...###..", "..####..", ".##.##..", "##..##..", "#######.", "....##..", "....##.." ; 4
    GLYPH "######..", "##......", "######..", ".....##.", ".....##.", "##...##.", ".#####.." ; 5
    GLYPH "..####..", ".##.....", "##......", "######..", "##...##.", "##...##.", ".#####.." ; 6
    GLYPH "#######.", "##...##.", "....##..", "...##...", "..##....", "..##....", "..##...." ; 7
    GLYPH ".#####..", "##...##.", "##...##.", ".#####..", "##...##.", "##...##.", ".#####.." ; 8
    GLYPH ".#####..", "##...##.", "##...##.", ".######.", ".....##.", "....##..", ".####..." ; 9
    GLYPH "........", "..##....", "..##....", "........", "..##....", "..##....", "........" ; :
    BLANK_GLYPHS 6                                                                     ; ; to @
    GLYPH "..###...", ".##.##..", "##...##.", "##...##.", "#######.", "##...##.", "##...##." ; A
    GLYPH "######..", "##...##.", "##...##.", "######..", "##...##.", "##...##.", "######.." ; B
    GLYPH "..####..", ".##..##.", "##......", "##......", "##......", ".##..##.", "..####.." ; C
    GLYPH "#####...", "##..##..", "##...##.", "##...##.", "##...##.", "##..##..", "#####..." ; D
    GLYPH "#######.", "##......", "##......", "######..", "##......", "##......", "#######." ; E
    GLYPH "#######.", "##......", "##......", "######..", "##......", "##......", "##......" ; F
    GLYPH "..#####.", ".##.....", "##......", "##..###.", "##...##.", ".##..##.", "..#####." ; G
    GLYPH "##...##.", "##...##.", "##...##.", "#######.", "##...##.", "##...##.", "##...##." ; H
    GLYPH ".######.", "...##...", "...##...", "...##...", "...##...", "...##...", ".######." ; I
    GLYPH "....###.", ".....##.", ".....##.", ".....##.", "##...##.", "##...##.", ".#####.." ; J
    GLYPH "##...##.", "##..##..", "##.##...", "####....", "#####...", "##.###..", "##..###." ; K
    GLYPH "##......", "##......", "##......", "##......", "##......", "##......", "#######." ; L
    GLYPH "##...##.", "###.###.", "#######.", "#######.", "##.#.##.", "##...##.", "##...##." ; M
    GLYPH "##...##.", "###..##.", "####.##.", "#######.", "##.####.", "##..###.", "##...##." ; N
    GLYPH ".#####..", "##...##.", "##...##.", "##...##.", "##...##.", "##...##.", ".#####.." ; O
    GLYPH "######..", "##...##.", "##...##.", "##...##.", "######..", "##......", "##......" ; P
    GLYPH ".#####..", "##...##.", "##...##.", "##...##.", "##.####.", "##..##..", ".####.#." ; Q
    GLYPH "######..", "##...##.", "##...##.", "##..###.", "#####...", "##.###..", "##..###." ; R
    GLYPH ".####...", "##..##..", "##......", ".#####..", ".....##.", "##...##.", ".#####.." ; S
    GLYPH "######..", "..##....", "..##....", "..##....", "..##....", "..##....", "..##...." ; T
    GLYPH "##...##.", "##...##.", "##...##.", "##...##.", "##...##.", "##...##.", ".#####.." ; U
    GLYPH "##...##.", "##...##.", "##...##.", "###.###.", ".#####..", "..###...", "...#...." ; V
    GLYPH "##...##.", "##...##.", "##.#.##.", "#######.", "#######.", "###.###.", "##...##." ; W
    GLYPH "##...##.", "###.###.", ".#####..", "..###...", ".#####..", "###.###.", "##...##." ; X
    GLYPH "##..##..", "##..##..", "##..##..", ".####...", "..##....", "..##....", "..##...." ; Y
    GLYPH "#######.", "....###.", "...###..", "..###...", ".###....", "###.....", "#######." ; Z
font_glyphs_end:

; ---------------------------------------------------------------------------
; Background set, from tile 1 on (tile 0 stays empty).
; ---------------------------------------------------------------------------

bg_tiles:
    ; TILE_BAR: the line under the status bar; its row 2 meets sprite 0.
    TILE "........", "........", "33333333", "22222222", "........", "........", "........", "........"
    ; TILE_HEART
    TILE ".22.22..", "2212222.", "2222222.", "2222222.", ".22222..", "..222...", "...2....", "........"
    ; TILE_SKY_STAR, TILE_SKY_CROSS, TILE_SKY_DIM
    TILE "........", "........", "........", "...3....", "........", "........", "........", "........"
    TILE "........", "...1....", "...1....", ".11311..", "...1....", "...1....", "........", "........"
    TILE "........", "........", "......1.", "........", "........", ".1......", "........", "........"
    ; TILE_CLOUD: top left, top middle, top right, then the bottom row.
    TILE "........", "........", "........", ".....333", "...33222", "..322222", "32222222", "32222222"
    TILE "..3333..", ".322223.", "32222223", "22222222", "22222222", "22222222", "22222222", "22222222"
    TILE "........", "........", "........", "333.....", "22233...", "222223..", "2222223.", "2222223."
    TILE "32222222", "32222222", "32222222", "12222222", ".1222222", "..111111", "........", "........"
    TILE "22222222", "22222222", "22222222", "22222222", "22222222", "11111111", "........", "........"
    TILE "2222223.", "2222223.", "2222221.", "2222221.", "222221..", "11111...", "........", "........"
    ; TILE_MOUNT: rising slope, falling slope, peak, flat top, two fills.
    TILE ".......3", "......32", ".....322", "....3222", "...32222", "..322222", ".3222222", "32222222"
    TILE "1.......", "21......", "221.....", "2221....", "22221...", "222221..", "2222221.", "22222221"
    TILE "...31...", "..3221..", "..32221.", ".322221.", ".3222221", "32222221", "32222222", "22222222"
    TILE "33333333", "22222222", "22222222", "22122222", "22222222", "22222222", "22222212", "22222222"
    TILE "22222222", "22212222", "22222222", "22222222", "21222222", "22222222", "22222122", "22222222"
    TILE "22222222", "22222222", "22222212", "22222222", "22122222", "22222222", "22222222", "12222222"
    ; TILE_GRASS, then two kinds of earth. Opaque below the blades, so that
    ; what sinks behind the ground disappears.
    TILE "3...3..3", "33.333.3", "33333333", "33333333", "13313331", "21121112", "22222222", "22212222"
    TILE "22222222", "22122222", "22222212", "22222222", "12222222", "22222122", "22122222", "22222222"
    TILE "22222222", "22222222", "21222222", "22222221", "22222222", "22212222", "22222222", "12222222"
bg_tiles_end:

; ---------------------------------------------------------------------------
; Sprite set (pattern table at $1000), from tile 0 on.
; ---------------------------------------------------------------------------

sprite_tiles:
    ; SPR_MARKER: sprite 0, kept behind the bar; only its row 2 is set.
    TILE "........", "........", "11111111", "........", "........", "........", "........", "........"
    ; SPR_HEAD: the player's upper half, facing right.
    HALF "......1111......", "....11222211....", "...1222222221...", "..122222333331..", "..122223131331..", "..122222333331..", "...1222222221...", "....11111111...."
    ; SPR_STAND, SPR_RUN, SPR_JUMP: lower halves.
    HALF "...1122222211...", "..132222222231..", "..331222222133..", "....12222221....", "....12222221....", "....121..121....", "...1221..1221...", "...1111..1111..."
    HALF "...1122222211...", "..132222222231..", "..331222222133..", "....12222221....", "....12222221....", "...1221..121....", "..1221....1221..", "..111......111.."
    HALF ".3.1122222211.3.", ".31322222222313.", "..11222222221...", "....12222221....", "....12222221....", "....11222211....", "...1221..1221...", "...111....111..."
    ; SPR_STAR, SPR_STAR_TWINKLE
    TILE "...2....", "..232...", "2223222.", ".23332..", "..222...", ".22.22..", ".1...1..", "........"
    TILE "...3....", "...3....", "..323...", "3322233.", "..323...", "...3....", "...3....", "........"
    ; SPR_METEOR: top half, bottom half.
    HALF ".....111111.....", "...1122222211...", "..122223322221..", ".12222333322221.", ".12211122222221.", "1222133122222221", "1222111222222221", "1222222222112221"
    HALF "1222222221331221", "1223322221111221", "1223322222222221", ".12222222222221.", ".12222222233221.", "..122222223321..", "...1122222211...", ".....111111....."
    ; SPR_SHOT
    TILE "...33...", "..3223..", "..3223..", "...22...", "...22...", "...22...", "...11...", "...11..."
    ; SPR_MOON: top half, bottom half.
    HALF ".....333333.....", "...3333333333...", "..333333333332..", ".33311333333322.", ".33111133333322.", "3331111333333322", "3333113333333322", "3333333333113322"
    HALF "3333333331111322", "3333333333113322", "3311333333333322", ".31111333333322.", ".33113333333222.", "..333333333222..", "...3333332222...", ".....222222....."
    ; SPR_SPARKLE
    TILE "...3....", ".3.3.3..", "..333...", "3333333.", "..333...", ".3.3.3..", "...3....", "........"
sprite_tiles_end:

.segment "RODATA"

; Letters drawn twice as large for the title and game-over screens, in the
; order of their big tiles from TILE_BIG.
big_letters:
    .byte "HALVENORGM"
big_letters_end:

.segment "CODE"

; ---------------------------------------------------------------------------
; tiles_upload: fills character RAM. Call with rendering and NMI off; it
; switches to the tile bank and leaves it selected.
; ---------------------------------------------------------------------------

; Each font glyph becomes colour 1: its bits in the low plane, a zero high
; plane.
tiles_upload:
    lda #BANK_TILES
    jsr bank_select
    bit PPUSTATUS
    lda #>(FONT_FIRST * 16)
    sta PPUADDR
    lda #<(FONT_FIRST * 16)
    sta PPUADDR
    lda #<font_glyphs
    sta ptr
    lda #>font_glyphs
    sta ptr + 1
    ldx #(font_glyphs_end - font_glyphs) / 8
@glyph:
    ldy #0
@low:
    lda (ptr), y
    sta PPUDATA
    iny
    cpy #8
    bne @low
    lda #0
    ldy #8
@high:
    sta PPUDATA
    dey
    bne @high
    lda ptr
    clc
    adc #8
    sta ptr
    bcc :+
    inc ptr + 1
:   dex
    bne @glyph

    ; The background set from tile 1.
    lda #$00
    ldx #$10
    jsr ppu_set_address
    lda #<bg_tiles
    ldx #>bg_tiles
    ldy #(bg_tiles_end - bg_tiles) / 16
    jsr copy_tiles

    ; The sprite set from tile 0 of the second table.
    lda #$10
    ldx #$00
    jsr ppu_set_address
    lda #<sprite_tiles
    ldx #>sprite_tiles
    ldy #(sprite_tiles_end - sprite_tiles) / 16
    jsr copy_tiles
    ; fall through to the big letters

; Big letters: glyph pixel (x, y) becomes a 2x2 block. Tiles 4n .. 4n+3
; from TILE_BIG hold letter n's top left, top right, bottom left and bottom
; right quarters. The top quarters use colour 3 and the bottom ones colour 2,
; a two-tone fill that reads as a gradient.
big_letters_build:
    lda #>(TILE_BIG * 16)
    ldx #<(TILE_BIG * 16)
    jsr ppu_set_address
    lda #0
    sta t0                          ; letter number
@letter:
    ldx t0
    lda big_letters, x
    sec
    sbc #FONT_FIRST
    ; ptr = font_glyphs + 8 * (character - FONT_FIRST)
    sta ptr
    lda #0
    sta ptr + 1
    asl ptr
    rol ptr + 1
    asl ptr
    rol ptr + 1
    asl ptr
    rol ptr + 1
    lda ptr
    clc
    adc #<font_glyphs
    sta ptr
    lda ptr + 1
    adc #>font_glyphs
    sta ptr + 1
    lda #0
    sta t1                          ; quarter 0..3
@quarter:
    ; Low plane: set for the top quarters only.
    lda t1
    and #2
    eor #2
    sta t3                          ; nonzero: low plane carries the shape
    jsr big_quarter_plane
    lda #1
    sta t3                          ; the high plane always carries it
    jsr big_quarter_plane
    inc t1
    lda t1
    cmp #4
    bne @quarter
    inc t0
    lda t0
    cmp #big_letters_end - big_letters
    bne @letter
    rts

; Writes one plane (8 bytes) of quarter t1 of the glyph at ptr; the plane is
; empty when t3 is 0.
big_quarter_plane:
    lda t1
    and #2
    asl a                           ; first glyph row: 0 or 4
    sta t2
    ldx #8
@row:
    lda t3
    beq @empty
    txa
    pha
    ldy t2
    lda (ptr), y
    sta t4
    lda t1
    and #1
    bne @right
    lda t4
    lsr a
    lsr a
    lsr a
    lsr a
    jmp @expand
@right:
    lda t4
    and #$0F
@expand:
    tay
    lda nibble_doubled, y
    sta PPUDATA
    pla
    tax
    jmp @next
@empty:
    lda #0
    sta PPUDATA
@next:
    ; Each glyph row feeds two tile rows.
    txa
    and #1
    beq :+
    inc t2
:   dex
    bne @row
    rts

; Four pixels doubled into eight.
nibble_doubled:
    .byte $00, $03, $0C, $0F, $30, $33, $3C, $3F
    .byte $C0, $C3, $CC, $CF, $F0, $F3, $FC, $FF

; Copies Y tiles of 16 bytes from (X:A) to PPUDATA.
copy_tiles:
    sta ptr
    stx ptr + 1
    tya
    tax
@tile:
    ldy #0
@byte:
    lda (ptr), y
    sta PPUDATA
    iny
    cpy #16
    bne @byte
    lda ptr
    clc
    adc #16
    sta ptr
    bcc :+
    inc ptr + 1
:   dex
    bne @tile
    rts
