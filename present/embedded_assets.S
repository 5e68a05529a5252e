/* The pictures and the font the game carries inside itself; app/game.cpp registers
   them by name. The build puts assets/ on the include path. */
    .section .rodata
    .balign 16

.macro asset name, file
    .global \name
    .global \name\()_end
\name:
    .incbin "\file"
\name\()_end:
    .byte 0
    .balign 16
.endm

    asset asset_owlogo_png, "owlogo.png"
    asset asset_armalite_ttf, "armalite.ttf"
    asset asset_dmpointer_png, "dmpointer.png"
    asset asset_whirlbat_01_png, "whirlbat_01.png"
    asset asset_whirlbat_02_png, "whirlbat_02.png"

#ifdef __ELF__
    .section .note.GNU-stack,"",@progbits
#endif
