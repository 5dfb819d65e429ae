; The game itself: the player, falling stars and meteors, shots, sparkles,
; the drifting moon, score and lives.
;
; Index:
;   constants, variables
;   play_enter       - a new game on the scrolling world
;   play_frame       - one frame: pause, input, movement, spawning, hits
;   player           - running, jumping, firing, drawing
;   stars, meteors, shots, sparkles, moon
;   score            - decimal digits, best score, status line updates
;   helpers          - box overlap, spawn column, metasprites

SCORE_DIGITS   = 5
START_LIVES    = 3
PLAYER_GROUND_Y = 176           ; top of the player standing on the grass
PLAYER_MIN_X   = 8
PLAYER_MAX_X   = 232
PLAYER_SPEED   = 2
JUMP_SPEED     = $0420          ; pixels per frame, 8.8
GRAVITY_HELD   = $28            ; jump button held while rising: higher jump
GRAVITY        = $48
GRAVITY_DROP   = $A0            ; Down held
MAX_FALL       = $06
INVULNERABLE_FRAMES = 120
GAME_OVER_DELAY = 90
PLAYFIELD_TOP  = 32             ; first pixel row below the status bar
SINK_Y         = 184            ; stars from here on fall behind the grass
GONE_Y         = 200
METEOR_GROUND_Y = 178

STAR_SLOTS    = 6
METEOR_SLOTS  = 4
SHOT_SLOTS    = 2
SPARKLE_SLOTS = 4
SPARKLE_FRAMES = 16
SHOT_SPEED    = 5
MAX_LEVEL     = 8
STAR_POINTS   = 10
METEOR_POINTS = 25
MOON_Y        = 44

.segment "BSS"
score:        .res SCORE_DIGITS ; most significant digit first, 0..9 each
best:         .res SCORE_DIGITS
lives:        .res 1
paused:       .res 1
game_over_wait: .res 1
status_dirty: .res 1
level:        .res 1
play_scroll:  .res 2            ; pixel column of the world at the screen's left

player_x:     .res 1
player_y:     .res 1
player_y_low: .res 1
player_vy:    .res 2            ; signed 8.8, low byte first
player_on_ground: .res 1
player_facing: .res 1           ; 0 right, 1 left
player_still: .res 1
player_steps: .res 1
player_invulnerable: .res 1

star_on:      .res STAR_SLOTS
star_x:       .res STAR_SLOTS
star_y:       .res STAR_SLOTS
star_y_low:   .res STAR_SLOTS
star_v_low:   .res STAR_SLOTS
star_v_high:  .res STAR_SLOTS
star_timer:   .res 1

meteor_on:    .res METEOR_SLOTS
meteor_x:     .res METEOR_SLOTS
meteor_y:     .res METEOR_SLOTS
meteor_y_low: .res METEOR_SLOTS
meteor_v_low: .res METEOR_SLOTS
meteor_v_high: .res METEOR_SLOTS
meteor_dx:    .res METEOR_SLOTS ; -1, 0 or 1 pixel every other frame
meteor_timer: .res 1

shot_on:      .res SHOT_SLOTS
shot_x:       .res SHOT_SLOTS
shot_y:       .res SHOT_SLOTS

sparkle_time: .res SPARKLE_SLOTS
sparkle_x:    .res SPARKLE_SLOTS
sparkle_y:    .res SPARKLE_SLOTS

moon_x:       .res 1
box_edge:     .res 1

.segment "CODE"

; ---------------------------------------------------------------------------
; play_enter
; ---------------------------------------------------------------------------

play_enter:
    jsr screen_off
    lda #WORLD_FULL
    sta world_kind
    lda #0
    jsr world_build
    lda #1
    jsr world_build
    ; Clear every moving thing.
    lda #0
    ldx #star_timer - star_on
:   sta star_on - 1, x
    dex
    bne :-
    ldx #meteor_timer - meteor_on
:   sta meteor_on - 1, x
    dex
    bne :-
    ldx #box_edge - shot_on
:   sta shot_on - 1, x
    dex
    bne :-
    ldx #SCORE_DIGITS
:   sta score - 1, x
    dex
    bne :-
    sta paused
    sta game_over_wait
    sta level
    sta play_scroll
    sta play_scroll + 1
    sta player_facing
    sta player_vy
    sta player_vy + 1
    sta player_y_low
    sta player_invulnerable
    lda #120
    sta player_x
    lda #PLAYER_GROUND_Y
    sta player_y
    lda #1
    sta player_on_ground
    sta status_dirty
    lda #200
    sta moon_x
    lda #START_LIVES
    sta lives
    lda #30
    sta star_timer
    lda #150                    ; a calm start before the first meteor
    sta meteor_timer
    ; The best score shown on the status line.
    lda #>STATUS_BEST
    ldx #<STATUS_BEST
    jsr ppu_set_address
    ldx #0
:   lda best, x
    ora #'0'
    sta PPUDATA
    inx
    cpx #SCORE_DIGITS
    bne :-
    jsr theme_apply
    lda #MODE_PLAY
    sta mode
    lda #1
    sta split_on
    jsr play_scroll_commit
    jsr screen_on
    rts

; ---------------------------------------------------------------------------
; play_frame
; ---------------------------------------------------------------------------

play_frame:
    lda game_over_wait
    beq @alive
    ; The last hit: the world holds still while the player blinks out.
    jsr sparkles_update
    dec player_invulnerable
    dec game_over_wait
    bne @draw
    jmp over_enter
@alive:
    lda pad_new
    and #BTN_START
    beq @no_toggle
    jsr pause_toggle
@no_toggle:
    lda paused
    bne @draw
    jsr level_update
    jsr scroll_update
    jsr player_update
    jsr shots_update
    jsr stars_update
    jsr meteors_update
    jsr sparkles_update
    jsr moon_update
@draw:
    jsr status_update
    jsr oam_begin
    jsr player_draw
    jsr shots_draw
    jsr sparkles_draw
    jsr stars_draw
    jsr meteors_draw
    jsr moon_draw
    jsr oam_finish
    jsr play_scroll_commit
    rts

PAUSE_TEXT_LEN = 5
pause_text:
    .byte "PAUSE"

; Start pauses and resumes; the word PAUSE shows on the status line.
pause_toggle:
    lda paused
    eor #1
    sta paused
    beq @resume
    jsr sound_pause
    jmp @text
@resume:
    jsr sound_resume
@text:
    lda #>STATUS_PAUSE
    ldx #<STATUS_PAUSE
    ldy #PAUSE_TEXT_LEN
    jsr vq_open
    ldx #0
:   lda #' '
    ldy paused
    beq :+
    lda pause_text, x
:   jsr vq_add
    inx
    cpx #PAUSE_TEXT_LEN
    bne :--
    rts

; One level per 500 points, up to MAX_LEVEL.
level_update:
    lda score + 1               ; thousands
    asl a
    ldx score + 2               ; hundreds
    cpx #5
    bcc :+
    adc #0                      ; carry is set: one more
:   ldx score
    bne @max
    cmp #MAX_LEVEL
    bcc @set
@max:
    lda #MAX_LEVEL
@set:
    sta level
    rts

; The world runs by one pixel a frame, two while running right, and stands
; while running left.
scroll_update:
    ldx #1
    lda pad
    and #BTN_RIGHT
    beq :+
    inx
:   lda pad
    and #BTN_LEFT
    beq :+
    ldx #0
:   txa
    clc
    adc play_scroll
    sta play_scroll
    bcc :+
    lda play_scroll + 1
    eor #1
    sta play_scroll + 1
:   rts

play_scroll_commit:
    lda play_scroll
    sta scroll_x
    lda play_scroll + 1
    sta scroll_nt
    rts

; ---------------------------------------------------------------------------
; Player
; ---------------------------------------------------------------------------

player_update:
    lda player_invulnerable
    beq :+
    dec player_invulnerable
:   lda #1
    sta player_still
    lda pad
    and #BTN_LEFT
    beq @not_left
    lda #1
    sta player_facing
    lda #0
    sta player_still
    lda player_x
    sec
    sbc #PLAYER_SPEED
    cmp #PLAYER_MIN_X
    bcs :+
    lda #PLAYER_MIN_X
:   sta player_x
@not_left:
    lda pad
    and #BTN_RIGHT
    beq @not_right
    lda #0
    sta player_facing
    sta player_still
    lda player_x
    clc
    adc #PLAYER_SPEED
    cmp #PLAYER_MAX_X
    bcc :+
    lda #PLAYER_MAX_X
:   sta player_x
@not_right:
    lda player_still
    bne :+
    inc player_steps
:
    ; Jump with A or Up from the ground.
    lda pad_new
    and #BTN_A | BTN_UP
    beq @no_jump
    lda player_on_ground
    beq @no_jump
    lda #0
    sta player_on_ground
    lda #<(-JUMP_SPEED)
    sta player_vy
    lda #>(-JUMP_SPEED)
    sta player_vy + 1
    jsr sfx_jump
@no_jump:
    lda pad_new
    and #BTN_B
    beq :+
    jsr shot_fire
:   lda player_on_ground
    bne @done
    ; Gravity: lighter while the jump button is held on the way up,
    ; heavier with Down.
    ldx #GRAVITY
    lda player_vy + 1
    bpl @chosen
    lda pad
    and #BTN_A | BTN_UP
    beq @chosen
    ldx #GRAVITY_HELD
@chosen:
    lda pad
    and #BTN_DOWN
    beq :+
    ldx #GRAVITY_DROP
:   txa
    clc
    adc player_vy
    sta player_vy
    lda player_vy + 1
    adc #0
    cmp #MAX_FALL
    bmi :+
    lda #MAX_FALL
    ldx #0
    stx player_vy
:   sta player_vy + 1
    lda player_y_low
    clc
    adc player_vy
    sta player_y_low
    lda player_y
    adc player_vy + 1
    sta player_y
    ; Landing: only on the way down.
    lda player_vy + 1
    bmi @done
    lda player_y
    cmp #PLAYER_GROUND_Y
    bcc @done
    lda #PLAYER_GROUND_Y
    sta player_y
    lda #0
    sta player_y_low
    sta player_vy
    sta player_vy + 1
    lda #1
    sta player_on_ground
@done:
    rts

; The player: a 16x16 figure facing right, mirrored when facing left. It
; blinks while it cannot be hurt.
player_draw:
    lda player_invulnerable
    and #4
    bne @done
    lda #SPR_HEAD
    sta t0
    ldx #SPR_STAND
    lda player_on_ground
    bne :+
    ldx #SPR_JUMP
    bne @legs
:   lda player_still
    bne @legs
    lda player_steps
    and #8
    beq @legs
    ldx #SPR_RUN
@legs:
    stx t1
    lda #PAL_PLAYER
    ldx player_facing
    beq :+
    lda #PAL_PLAYER | ATTR_HFLIP
:   sta t7
    lda player_y
    sta t5
    lda t0
    jsr pair_draw
    lda player_y
    clc
    adc #8
    sta t5
    lda t1
    jsr pair_draw
@done:
    rts

; Two tiles side by side at player_x, row t5: tile A on the left and A + 1
; on the right, or swapped and mirrored when t7 asks for a flip.
pair_draw:
    sta t6
    lda player_x
    sta t4
    lda t7
    and #ATTR_HFLIP
    beq :+
    inc t6
:   jsr oam_put
    lda t4
    clc
    adc #8
    sta t4
    lda t7
    and #ATTR_HFLIP
    beq :+
    dec t6
    dec t6
:   inc t6
    jmp oam_put

; ---------------------------------------------------------------------------
; Shots
; ---------------------------------------------------------------------------

shot_fire:
    ldx #SHOT_SLOTS - 1
:   lda shot_on, x
    beq @free
    dex
    bpl :-
    rts
@free:
    lda #1
    sta shot_on, x
    lda player_x
    clc
    adc #4
    sta shot_x, x
    lda player_y
    sec
    sbc #6
    sta shot_y, x
    jmp sfx_fire

shots_update:
    ldx #SHOT_SLOTS - 1
@next:
    lda shot_on, x
    beq @skip
    lda shot_y, x
    sec
    sbc #SHOT_SPEED
    cmp #PLAYFIELD_TOP
    bcs :+
    lda #0
    sta shot_on, x
:   sta shot_y, x
@skip:
    dex
    bpl @next
    rts

shots_draw:
    ldx #SHOT_SLOTS - 1
@next:
    lda shot_on, x
    beq @skip
    lda shot_x, x
    sta t4
    lda shot_y, x
    sta t5
    lda #SPR_SHOT
    sta t6
    lda #PAL_MOON
    sta t7
    txa
    pha
    jsr oam_put
    pla
    tax
@skip:
    dex
    bpl @next
    rts

; ---------------------------------------------------------------------------
; Stars
; ---------------------------------------------------------------------------

stars_update:
    dec star_timer
    bne @move
    jsr star_spawn
@move:
    ldx #STAR_SLOTS - 1
@next:
    lda star_on, x
    beq @skip
    lda star_y_low, x
    clc
    adc star_v_low, x
    sta star_y_low, x
    lda star_y, x
    adc star_v_high, x
    sta star_y, x
    cmp #GONE_Y
    bcc :+
    lda #0
    sta star_on, x
    beq @skip
:   cmp #SINK_Y
    bcs @skip                   ; sinking: out of reach
    jsr star_catch
@skip:
    dex
    bpl @next
    rts

; Spawns a star when a slot is free; the next one follows sooner on higher
; levels.
star_spawn:
    jsr random
    and #$0F
    clc
    adc #34
    sec
    sbc level
    sbc level
    sta star_timer
    ldx #STAR_SLOTS - 1
:   lda star_on, x
    beq @free
    dex
    bpl :-
    rts
@free:
    lda #1
    sta star_on, x
    jsr spawn_column
    sta star_x, x
    lda #PLAYFIELD_TOP
    sta star_y, x
    lda #0
    sta star_y_low, x
    sta star_v_high, x
    jsr random
    and #$3F
    clc
    adc #$A0
    sta star_v_low, x
    bcc :+
    inc star_v_high, x
:   lda level
    asl a
    asl a
    asl a
    asl a
    clc
    adc star_v_low, x
    sta star_v_low, x
    bcc :+
    inc star_v_high, x
:   rts

; Star X against the player.
star_catch:
    lda player_x
    clc
    adc #2
    sta t0
    lda #12
    sta t1
    lda player_y
    sta t2
    lda #16
    sta t3
    lda star_x, x
    sta t4
    lda #7
    sta t5
    lda star_y, x
    sta t6
    lda #7
    sta t7
    jsr boxes_overlap
    bcc @miss
    lda #0
    sta star_on, x
    lda star_x, x
    ldy star_y, x
    jsr sparkle_start
    lda #STAR_POINTS
    jsr score_add
    jsr sfx_catch
@miss:
    rts

; Stars twinkle by turns, mirrored on every other twinkle; sinking stars
; are drawn behind the grass.
stars_draw:
    ldx #STAR_SLOTS - 1
@next:
    lda star_on, x
    beq @skip
    lda star_x, x
    sta t4
    lda star_y, x
    sta t5
    txa
    asl a
    asl a
    asl a
    adc nmi_count
    and #$18
    lsr a
    lsr a
    lsr a                       ; 0..3
    tay
    lda star_looks_tile, y
    sta t6
    lda star_looks_attr, y
    sta t7
    lda star_y, x
    cmp #SINK_Y
    bcc :+
    lda t7
    ora #ATTR_BEHIND
    sta t7
:   txa
    pha
    jsr oam_put
    pla
    tax
@skip:
    dex
    bpl @next
    rts

star_looks_tile:
    .byte SPR_STAR, SPR_TWINKLE, SPR_STAR, SPR_TWINKLE
star_looks_attr:
    .byte PAL_STAR, PAL_STAR, PAL_STAR | ATTR_HFLIP, PAL_STAR | ATTR_VFLIP

; ---------------------------------------------------------------------------
; Meteors
; ---------------------------------------------------------------------------

meteors_update:
    dec meteor_timer
    bne @move
    jsr meteor_spawn
@move:
    ldx #METEOR_SLOTS - 1
@next:
    lda meteor_on, x
    bne :+
    jmp @skip
:   lda meteor_y_low, x
    clc
    adc meteor_v_low, x
    sta meteor_y_low, x
    lda meteor_y, x
    adc meteor_v_high, x
    sta meteor_y, x
    cmp #METEOR_GROUND_Y
    bcc @drift
    ; It crashes into the ground.
    lda #0
    sta meteor_on, x
    lda meteor_x, x
    clc
    adc #4
    ldy #METEOR_GROUND_Y + 6
    jsr sparkle_start
    jmp @skip
@drift:
    lda nmi_count
    and #1
    beq @hits
    lda meteor_x, x
    clc
    adc meteor_dx, x
    cmp #PLAYER_MIN_X
    bcc @turn
    cmp #PLAYER_MAX_X + 1
    bcc @moved
@turn:
    lda meteor_dx, x
    eor #$FF
    clc
    adc #1
    sta meteor_dx, x
    lda meteor_x, x
@moved:
    sta meteor_x, x
@hits:
    jsr meteor_shot
    bcs @skip
    jsr meteor_hits_player
@skip:
    dex
    bmi :+
    jmp @next
:   rts

meteor_spawn:
    jsr random
    and #$1F
    clc
    adc #100
    sta t0
    lda level
    asl a
    asl a
    asl a
    sta t1
    lda t0
    sec
    sbc t1
    sta meteor_timer
    ldx #METEOR_SLOTS - 1
:   lda meteor_on, x
    beq @free
    dex
    bpl :-
    rts
@free:
    lda #1
    sta meteor_on, x
    jsr spawn_column
    cmp #PLAYER_MAX_X
    bcc :+
    lda #PLAYER_MAX_X
:   sta meteor_x, x
    lda #PLAYFIELD_TOP
    sta meteor_y, x
    lda #0
    sta meteor_y_low, x
    ; Speed: 1.125 pixels a frame and a random part, more on higher levels.
    lda #1
    sta meteor_v_high, x
    jsr random
    and #$7F
    clc
    adc #$20
    sta meteor_v_low, x
    lda level
    asl a
    asl a
    asl a
    sta t0
    asl a
    adc t0                      ; 24 per level
    adc meteor_v_low, x
    sta meteor_v_low, x
    bcc :+
    inc meteor_v_high, x
:   jsr random
    and #3
    tay
    lda meteor_drifts, y
    sta meteor_dx, x
    rts

meteor_drifts:
    .byte 0, 1, $FF, 0

; Meteor X against both shots; carry set when one hit it.
meteor_shot:
    ldy #SHOT_SLOTS - 1
@next:
    lda shot_on, y
    beq @skip
    lda meteor_x, x
    clc
    adc #1
    sta t0
    lda #14
    sta t1
    lda meteor_y, x
    sta t2
    lda #16
    sta t3
    lda shot_x, y
    clc
    adc #2
    sta t4
    lda #4
    sta t5
    lda shot_y, y
    sta t6
    lda #8
    sta t7
    tya
    pha
    jsr boxes_overlap
    pla
    tay
    bcc @skip
    lda #0
    sta shot_on, y
    sta meteor_on, x
    lda meteor_x, x
    clc
    adc #4
    pha
    lda meteor_y, x
    clc
    adc #4
    tay
    pla
    jsr sparkle_start
    lda #METEOR_POINTS
    jsr score_add
    jsr sfx_blast
    sec
    rts
@skip:
    dey
    bpl @next
    clc
    rts

; Meteor X against the player, unless the player is blinking.
meteor_hits_player:
    lda player_invulnerable
    bne @miss
    lda game_over_wait
    bne @miss
    lda meteor_x, x
    clc
    adc #3
    sta t0
    lda #10
    sta t1
    lda meteor_y, x
    clc
    adc #3
    sta t2
    lda #10
    sta t3
    lda player_x
    clc
    adc #3
    sta t4
    lda #10
    sta t5
    lda player_y
    clc
    adc #2
    sta t6
    lda #14
    sta t7
    jsr boxes_overlap
    bcc @miss
    lda #0
    sta meteor_on, x
    lda meteor_x, x
    clc
    adc #4
    ldy player_y
    jsr sparkle_start
    lda #INVULNERABLE_FRAMES
    sta player_invulnerable
    lda #1
    sta status_dirty
    jsr sfx_hit
    dec lives
    bne @miss
    lda #GAME_OVER_DELAY
    sta game_over_wait
    jsr music_stop
@miss:
    rts

; A meteor tumbles: every 8 frames it turns a quarter by mirroring.
meteors_draw:
    ldx #METEOR_SLOTS - 1
@next:
    lda meteor_on, x
    beq @skip
    lda meteor_x, x
    sta t0
    lda meteor_y, x
    sta t1
    txa
    asl a
    asl a
    asl a
    adc nmi_count
    lsr a
    lsr a
    lsr a
    and #3
    tay
    lda tumble_flips, y
    ora #PAL_METEOR
    sta t2
    lda #SPR_METEOR
    sta t3
    txa
    pha
    jsr quad_draw
    pla
    tax
@skip:
    dex
    bpl @next
    rts

tumble_flips:
    .byte 0, ATTR_HFLIP, ATTR_HFLIP | ATTR_VFLIP, ATTR_VFLIP

; ---------------------------------------------------------------------------
; Sparkles
; ---------------------------------------------------------------------------

; A sparkle at X = A, Y = Y, in the oldest slot.
sparkle_start:
    sta t0
    tya
    pha
    txa
    pha
    ldx #SPARKLE_SLOTS - 1
    ldy #0                      ; slot with the least time left
    lda #$FF
    sta t1
@next:
    lda sparkle_time, x
    cmp t1
    bcs :+
    sta t1
    stx t2
    ldy t2
:   dex
    bpl @next
    lda t0
    sta sparkle_x, y
    pla
    tax
    pla
    sta sparkle_y, y
    lda #SPARKLE_FRAMES
    sta sparkle_time, y
    rts

sparkles_update:
    ldx #SPARKLE_SLOTS - 1
:   lda sparkle_time, x
    beq :+
    dec sparkle_time, x
:   dex
    bpl :--
    rts

; A sparkle rises a little and flickers between its mirror images.
sparkles_draw:
    ldx #SPARKLE_SLOTS - 1
@next:
    lda sparkle_time, x
    beq @skip
    lda sparkle_x, x
    sta t4
    lda sparkle_time, x
    lsr a
    clc
    adc sparkle_y, x
    sec
    sbc #SPARKLE_FRAMES / 2
    sta t5
    lda #SPR_SPARKLE
    sta t6
    lda sparkle_time, x
    and #2
    beq :+
    lda #ATTR_HFLIP | ATTR_VFLIP
:   ora #PAL_STAR
    sta t7
    txa
    pha
    jsr oam_put
    pla
    tax
@skip:
    dex
    bpl @next
    rts

; ---------------------------------------------------------------------------
; Moon
; ---------------------------------------------------------------------------

; The moon drifts left at a quarter pixel a frame, behind the clouds.
moon_update:
    lda nmi_count
    and #3
    bne :+
    dec moon_x
:   rts

moon_draw:
    lda moon_x
    sta t0
    lda #MOON_Y
    sta t1
    lda #PAL_MOON | ATTR_BEHIND
    sta t2
    lda #SPR_MOON
    sta t3
    jmp quad_draw

; ---------------------------------------------------------------------------
; Score
; ---------------------------------------------------------------------------

; Adds A (below 100) to the score; it stops at 99999. Keeps X.
score_add:
    sta t0
    txa
    pha
    lda t0
    ldx #0
:   cmp #10
    bcc :+
    sbc #10
    inx
    bne :-
:   sta t0                      ; ones
    stx t1                      ; tens
    ldx #SCORE_DIGITS - 1
    lda t0
    jsr digit_add
    ldx #SCORE_DIGITS - 2
    lda t1
    jsr digit_add
    lda #1
    sta status_dirty
    pla
    tax
    rts

; Adds A to digit X and carries upwards.
digit_add:
    clc
    adc score, x
@carry:
    cmp #10
    bcc @store
    sbc #10
    sta score, x
    dex
    bmi @full
    lda score, x
    adc #0                      ; carry is set: adds one
    jmp @carry
@store:
    sta score, x
    rts
@full:
    lda #9
    ldx #SCORE_DIGITS - 1
:   sta score, x
    dex
    bpl :-
    rts

; Keeps the higher of score and best in best.
best_update:
    ldx #0
:   lda score, x
    cmp best, x
    bcc @done
    bne @copy
    inx
    cpx #SCORE_DIGITS
    bne :-
    rts
@copy:
    ldx #SCORE_DIGITS - 1
:   lda score, x
    sta best, x
    dex
    bpl :-
@done:
    rts

; Score and lives on the status line, when they changed.
status_update:
    lda status_dirty
    beq @done
    lda #0
    sta status_dirty
    lda #>STATUS_SCORE
    ldx #<STATUS_SCORE
    ldy #SCORE_DIGITS
    jsr vq_open
    ldx #0
:   lda score, x
    ora #'0'
    jsr vq_add
    inx
    cpx #SCORE_DIGITS
    bne :-
    lda #>STATUS_LIVES
    ldx #<STATUS_LIVES
    ldy #1
    jsr vq_open
    lda lives
    ora #'0'
    jsr vq_add
@done:
    rts

; ---------------------------------------------------------------------------
; Helpers
; ---------------------------------------------------------------------------

; Carry set when box A (t0 x, t1 width, t2 y, t3 height) overlaps box B
; (t4, t5, t6, t7). Keeps X and Y.
boxes_overlap:
    lda t4
    clc
    adc t5
    sta box_edge
    lda t0
    cmp box_edge
    bcs @apart
    lda t0
    clc
    adc t1
    sta box_edge
    lda t4
    cmp box_edge
    bcs @apart
    lda t6
    clc
    adc t7
    sta box_edge
    lda t2
    cmp box_edge
    bcs @apart
    lda t2
    clc
    adc t3
    sta box_edge
    lda t6
    cmp box_edge
    bcs @apart
    sec
    rts
@apart:
    clc
    rts

; A random column for something 8 to 16 pixels wide, within 8..231.
spawn_column:
    jsr random
    cmp #PLAYER_MAX_X
    bcc :+
    sbc #128
:   cmp #PLAYER_MIN_X
    bcs :+
    adc #PLAYER_MIN_X
:   rts

; A 16x16 figure of four tiles from t3 (top left, top right, bottom left,
; bottom right) at t0, t1 with attributes t2. Mirroring swaps the quarters
; as well as flipping each one, so the whole figure turns.
quad_draw:
    ldx #0
@quarter:
    ldy #0
    lda t2
    and #ATTR_HFLIP
    beq :+
    ldy #1
:   sty t7
    lda t2
    and #ATTR_VFLIP
    beq :+
    lda t7
    ora #2
    sta t7
:   txa
    eor t7
    clc
    adc t3
    sta t6
    txa
    and #1
    asl a
    asl a
    asl a
    adc t0
    sta t4
    txa
    and #2
    asl a
    asl a
    adc t1
    sta t5
    lda t2
    sta t7
    txa
    pha
    jsr oam_put
    pla
    tax
    inx
    cpx #4
    bne @quarter
    rts
