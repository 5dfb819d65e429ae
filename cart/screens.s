; Whole screens: the scrolling world with its status bar, the title and the
; game-over screen, and the colour themes that Select steps through.
;
; Index:
;   world data       - mountain heights, clouds, status line (world bank)
;   world_build      - fills a nametable tile by tile from that data
;   title            - title screen and its frame
;   game over        - game-over screen and its frame
;   text             - plain and big text, update-queue text
;   themes           - the three skies

; Nametable rows of the playfield (8 pixels each).
ROW_STATUS   = 2
ROW_BAR      = 3
ROW_SKY      = 4
ROW_MOUNTAIN = 16
ROW_GROUND   = 24
ROWS         = 30
WORLD_COLUMNS = 64              ; both nametables side by side

; Status line cells, as video addresses in the first nametable.
STATUS_LINE  = $2000 + ROW_STATUS * 32
STATUS_SCORE = STATUS_LINE + 7
STATUS_LIVES = STATUS_LINE + 15
STATUS_PAUSE = STATUS_LINE + 17
STATUS_BEST  = STATUS_LINE + 26

; World builds: the playfield has everything, the quiet screens only the
; sky and the ground under their text.
WORLD_FULL  = 1
WORLD_QUIET = 0

.segment "WORLD"

; Mountain height per world column, in tiles; neighbours differ by one so
; that the slopes join.
mountain_heights:
    .byte 2, 3, 4, 5, 6, 5, 4, 3, 3, 4, 5, 6, 7, 6, 5, 4
    .byte 3, 2, 2, 3, 4, 3, 2, 1, 1, 2, 3, 4, 5, 4, 3, 2
    .byte 2, 3, 4, 5, 4, 5, 6, 7, 8, 7, 6, 5, 4, 3, 4, 5
    .byte 4, 3, 2, 1, 2, 3, 4, 3, 2, 1, 1, 2, 3, 2, 1, 1

; Clouds: world column of the left end, top row, width in tiles (at least 2).
clouds:
    .byte 3, 6, 4
    .byte 14, 9, 3
    .byte 24, 5, 5
    .byte 37, 7, 4
    .byte 47, 11, 3
    .byte 55, 5, 5
clouds_end:

status_line:
    .byte " SCORE 00000 ", TILE_HEART, " 3       HI 00000 "

; Title texts: video address, then the text up to a zero byte; a zero
; address ends the list.
title_texts:
    .word $2000 + 9 * 32 + 4
    .byte "CATCH THE FALLING STARS", 0
    .word $2000 + 10 * 32 + 3
    .byte "DODGE OR SHOOT THE METEORS", 0
    .word $2000 + 13 * 32 + 6
    .byte "LEFT RIGHT   RUN", 0
    .word $2000 + 14 * 32 + 6
    .byte "A OR UP      JUMP", 0
    .word $2000 + 15 * 32 + 6
    .byte "DOWN         DROP", 0
    .word $2000 + 16 * 32 + 6
    .byte "B            FIRE", 0
    .word $2000 + 17 * 32 + 6
    .byte "SELECT       SKY", 0
    .word $2000 + 18 * 32 + 6
    .byte "START        PAUSE", 0
    .word $2000 + 21 * 32 + 10
    .byte "PRESS START", 0
    .word 0

over_texts:
    .word $2000 + 13 * 32 + 8
    .byte "YOUR SCORE", 0
    .word $2000 + 15 * 32 + 8
    .byte "BEST SCORE", 0
    .word $2000 + 19 * 32 + 10
    .byte "PRESS START", 0
    .word 0

.segment "RODATA"

title_big:
    .byte "HALVENOR", 0
over_big:
    .byte "GAME OVER", 0
press_start:
    .byte "PRESS START"
press_start_end:
PRESS_START_LEN = press_start_end - press_start
TITLE_BIG_AT   = $2000 + 5 * 32 + 8
OVER_BIG_AT    = $2000 + 8 * 32 + 7
TITLE_PRESS_AT = $2000 + 21 * 32 + 10
OVER_PRESS_AT  = $2000 + 19 * 32 + 10
OVER_SCORE_AT  = $2000 + 13 * 32 + 19
OVER_BEST_AT   = $2000 + 15 * 32 + 19

; Rows 0-23 of the quiet screens that may hold stars.
quiet_star_rows:
    .byte 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1

; Attribute bytes per attribute row (four tile rows each).
playfield_attributes:
    .byte $00, $55, $55, $55, $AA, $AA, $FF, $FF
quiet_attributes:
    .byte $00, $00, $00, $00, $00, $00, $FF, $FF

.segment "BSS"
world_kind:  .res 1
world_nt:    .res 1
world_row:   .res 1
world_col:   .res 1             ; 0..63 across both nametables
saved_rng:   .res 2
title_time:  .res 2
over_time:   .res 1
theme:       .res 1

.segment "CODE"

; ---------------------------------------------------------------------------
; World
; ---------------------------------------------------------------------------

; Writes nametable A (0 or 1) with its attributes, of kind world_kind. The
; scattered sky stars come from the random generator with a fixed seed, so
; the world looks the same every time.
WORLD_SEED = $5A3C
world_build:
    sta world_nt
    lda #BANK_WORLD
    jsr bank_select
    lda rng
    sta saved_rng
    lda rng + 1
    sta saved_rng + 1
    lda #<WORLD_SEED
    sta rng
    lda #>WORLD_SEED
    sta rng + 1
    lda world_nt
    asl a
    asl a
    ora #$20
    ldx #0
    jsr ppu_set_address
    lda #0
    sta world_row
@row:
    lda world_nt
    beq :+
    lda #32                     ; nametable 1 starts at world column 32
:   sta world_col
    ldx #32
@col:
    txa
    pha
    jsr world_tile
    sta PPUDATA
    pla
    tax
    inc world_col
    dex
    bne @col
    inc world_row
    lda world_row
    cmp #ROWS
    bne @row

    ; Attributes: eight rows of eight equal bytes.
    ldx #0
@attr_row:
    lda world_kind
    beq @quiet
    lda playfield_attributes, x
    jmp @attr_put
@quiet:
    lda quiet_attributes, x
@attr_put:
    ldy #8
:   sta PPUDATA
    dey
    bne :-
    inx
    cpx #8
    bne @attr_row

    lda saved_rng
    sta rng
    lda saved_rng + 1
    sta rng + 1
    rts

; Tile at world_row, world_col (world bank selected).
world_tile:
    lda world_row
    cmp #ROW_GROUND
    bcc @above_ground
    beq @grass
    jsr random
    and #1
    clc
    adc #TILE_EARTH
    rts
@grass:
    lda #TILE_GRASS
    rts
@above_ground:
    ldx world_kind
    beq @sky_or_nothing
    cmp #ROW_STATUS
    bne @not_status
    lda world_col
    cmp #32
    bcs @nothing
    tax
    lda status_line, x
    rts
@not_status:
    cmp #ROW_BAR
    bne @not_bar
    lda #TILE_BAR
    rts
@not_bar:
    cmp #ROW_MOUNTAIN
    bcc @clouds
    jmp mountain_tile
@clouds:
    cmp #ROW_SKY
    bcc @nothing
    jsr cloud_tile
    bne @done
@sky:
    ; About one cell in ten holds a star of one of three kinds.
    jsr random
    cmp #26
    bcs @nothing
    and #3
    beq @nothing
    clc
    adc #TILE_SKY_STAR - 1
    rts
; The quiet screens keep stars to the rows that no text uses.
@sky_or_nothing:
    tax
    lda quiet_star_rows, x
    bne @sky
@nothing:
    lda #0
@done:
    rts

; Cloud tile at world_row, world_col, or 0 (with the Z flag set).
cloud_tile:
    ldx #0
@next:
    lda world_row
    sec
    sbc clouds + 1, x           ; 0: top row, 1: bottom row
    cmp #2
    bcs @skip
    sta t0
    lda world_col
    sec
    sbc clouds, x
    cmp clouds + 2, x
    bcs @skip
    ; Piece: 0 left end, 1 middle, 2 right end; 3 more on the bottom row.
    beq @left
    clc
    adc #1
    cmp clouds + 2, x
    beq @right
    lda #1
    bne @piece
@left:
    lda #0
    beq @piece
@right:
    lda #2
@piece:
    ldy t0
    beq :+
    clc
    adc #3
:   clc
    adc #TILE_CLOUD
    rts
@skip:
    inx
    inx
    inx
    cpx #clouds_end - clouds
    bne @next
    lda #0
    rts

; Mountain tile at world_row, world_col: nothing above the column's top,
; an edge tile at the top chosen by the neighbours' heights, fill below.
mountain_tile:
    ldx world_col
    lda #ROW_GROUND
    sec
    sbc mountain_heights, x
    cmp world_row
    beq @top
    bcc @fill
    lda #0
    rts
@fill:
    lda world_row
    eor world_col
    and #1
    clc
    adc #TILE_MOUNT_FILL
    rts
@top:
    lda mountain_heights, x
    sta t0
    dex
    txa
    and #WORLD_COLUMNS - 1
    tax
    lda mountain_heights, x     ; left neighbour
    cmp t0
    lda #0
    rol a
    eor #1                      ; 1: the left neighbour is lower
    sta t1
    inx
    inx
    txa
    and #WORLD_COLUMNS - 1
    tax
    lda mountain_heights, x     ; right neighbour
    cmp t0
    bcs @right_not_lower
    lda t1
    beq @falling
    lda #TILE_MOUNT_PEAK
    rts
@falling:
    lda #TILE_MOUNT_DOWN
    rts
@right_not_lower:
    lda t1
    beq @flat
    lda #TILE_MOUNT_UP
    rts
@flat:
    lda #TILE_MOUNT_FLAT
    rts

; ---------------------------------------------------------------------------
; Title
; ---------------------------------------------------------------------------

title_enter:
    jsr screen_off
    lda #WORLD_QUIET
    sta world_kind
    lda #0
    jsr world_build
    lda #<title_texts
    ldx #>title_texts
    jsr text_list
    lda #<title_big
    sta ptr
    lda #>title_big
    sta ptr + 1
    lda #>TITLE_BIG_AT
    ldy #<TITLE_BIG_AT
    jsr big_text
    jsr theme_apply
    lda #0
    sta scroll_x
    sta scroll_nt
    lda #MODE_TITLE
    sta mode
    jsr music_start
    jsr screen_on
    rts

title_frame:
    inc title_time
    bne :+
    inc title_time + 1
:   lda pad_new
    and #BTN_START
    beq @stay
    ; The play's randomness starts from how long the title was shown.
    lda title_time
    eor #$A5
    sta rng
    lda title_time + 1
    ora #$40
    sta rng + 1
    jmp play_enter
@stay:
    lda title_time
    ldx #>TITLE_PRESS_AT
    ldy #<TITLE_PRESS_AT
    jsr press_start_blink
    jsr scenery_sprites
    rts

; Sprites of the quiet screens: the moon and the player standing on the
; ground.
TITLE_MOON_X = 208
scenery_sprites:
    jsr oam_begin
    lda #TITLE_MOON_X
    sta moon_x
    lda #120
    sta player_x
    lda #PLAYER_GROUND_Y
    sta player_y
    lda #0
    sta player_facing
    sta player_invulnerable
    lda #1
    sta player_on_ground
    sta player_still
    jsr player_draw
    jsr moon_draw
    jsr oam_finish
    rts

; ---------------------------------------------------------------------------
; Game over
; ---------------------------------------------------------------------------

over_enter:
    jsr screen_off
    jsr best_update
    lda #WORLD_QUIET
    sta world_kind
    lda #0
    jsr world_build
    lda #<over_texts
    ldx #>over_texts
    jsr text_list
    lda #<over_big
    sta ptr
    lda #>over_big
    sta ptr + 1
    lda #>OVER_BIG_AT
    ldy #<OVER_BIG_AT
    jsr big_text
    lda #>OVER_SCORE_AT
    ldx #<OVER_SCORE_AT
    jsr ppu_set_address
    ldx #0
:   lda score, x
    ora #'0'
    sta PPUDATA
    inx
    cpx #SCORE_DIGITS
    bne :-
    lda #>OVER_BEST_AT
    ldx #<OVER_BEST_AT
    jsr ppu_set_address
    ldx #0
:   lda best, x
    ora #'0'
    sta PPUDATA
    inx
    cpx #SCORE_DIGITS
    bne :-
    jsr theme_apply
    lda #0
    sta scroll_x
    sta scroll_nt
    sta over_time
    lda #MODE_OVER
    sta mode
    jsr screen_on
    rts

; A short pause keeps a held Start from skipping the screen at once.
OVER_LOCK_FRAMES = 40
over_frame:
    lda over_time
    cmp #OVER_LOCK_FRAMES
    bcc @locked
    lda pad_new
    and #BTN_START
    beq @blink
    jsr music_start
    jmp play_enter
@locked:
    inc over_time
@blink:
    lda nmi_count
    ldx #>OVER_PRESS_AT
    ldy #<OVER_PRESS_AT
    jsr press_start_blink
    jsr scenery_sprites
    rts

; Shows "PRESS START" for 32 frames and hides it for 32, by the counter in
; A, at video address X (high), Y (low).
press_start_blink:
    sta t0
    and #$1F
    bne @done
    lda t0
    and #$20
    sta t0
    txa
    sty t1
    ldx t1
    ldy #PRESS_START_LEN
    jsr vq_open
    ldx #0
:   lda #' '
    ldy t0
    bne :+
    lda press_start, x
:   jsr vq_add
    inx
    cpx #PRESS_START_LEN
    bne :--
@done:
    rts

; ---------------------------------------------------------------------------
; Text
; ---------------------------------------------------------------------------

; Writes a list of addressed texts (A low, X high) while the screen is off.
text_list:
    sta ptr
    stx ptr + 1
    bit PPUSTATUS
@entry:
    ldy #1
    lda (ptr), y
    beq @done
    sta PPUADDR
    dey
    lda (ptr), y
    sta PPUADDR
    ldy #2
@char:
    lda (ptr), y
    beq @end
    sta PPUDATA
    iny
    bne @char
@end:
    iny
    tya
    clc
    adc ptr
    sta ptr
    bcc @entry
    inc ptr + 1
    bne @entry
@done:
    rts

; Big text at ptr (ended by a zero) at the video address A (high), Y (low):
; two tile rows, each letter two tiles wide; a space leaves its cells empty.
big_text:
    sta t2
    sty t3
    lda #0
    sta t1                      ; 0: top row, 2: bottom row
@row:
    lda t2
    ldx t3
    jsr ppu_set_address
    ldy #0
@char:
    lda (ptr), y
    beq @row_done
    jsr big_letter_index
    bcs @space
    asl a
    asl a
    ora t1
    clc
    adc #TILE_BIG
    sta PPUDATA
    clc
    adc #1
    sta PPUDATA
    iny
    bne @char
@space:
    lda #0
    sta PPUDATA
    sta PPUDATA
    iny
    bne @char
@row_done:
    lda t3
    clc
    adc #32
    sta t3
    bcc :+
    inc t2
:   lda t1
    bne @done
    lda #2
    sta t1
    bne @row
@done:
    rts

; A = character; returns its big-letter number in A with the carry clear,
; or the carry set when it has no big form.
big_letter_index:
    ldx #0
:   cmp big_letters, x
    beq @found
    inx
    cpx #big_letters_end - big_letters
    bne :-
    sec
    rts
@found:
    txa
    clc
    rts

; ---------------------------------------------------------------------------
; Themes
; ---------------------------------------------------------------------------

THEMES = 3
THEME_SIZE = 32

; Entries 16, 20, 24 and 28 are the same cell as entry 0, the backdrop: they
; repeat it so that uploading all 32 bytes keeps it.
theme_palettes:
    ; Night
    .byte $01, $30, $16, $28,  $01, $11, $21, $30,  $01, $0C, $1C, $2C,  $01, $07, $17, $2A
    .byte $01, $0F, $27, $3C,  $01, $27, $28, $30,  $01, $07, $17, $27,  $01, $10, $28, $38
    ; Dusk
    .byte $04, $30, $16, $28,  $04, $14, $24, $37,  $04, $0F, $02, $15,  $04, $08, $18, $29
    .byte $04, $0F, $27, $3C,  $04, $27, $28, $30,  $04, $07, $17, $27,  $04, $10, $28, $38
    ; Aurora
    .byte $0F, $30, $16, $28,  $0F, $0A, $1A, $3A,  $0F, $01, $11, $21,  $0F, $07, $17, $2A
    .byte $0F, $00, $27, $3C,  $0F, $27, $28, $30,  $0F, $07, $17, $27,  $0F, $10, $28, $38

theme_next:
    ldx theme
    inx
    cpx #THEMES
    bcc :+
    ldx #0
:   stx theme
    ; fall through

; Copies the current theme into the palette buffer for the next frame.
theme_apply:
    lda theme
    asl a
    asl a
    asl a
    asl a
    asl a
    tax
    ldy #0
:   lda theme_palettes, x
    sta pal_buf, y
    inx
    iny
    cpy #THEME_SIZE
    bne :-
    lda #1
    sta pal_dirty
    rts
