/* The bitmaps' BMP files, embedded as they are at build time. */
    .section .rodata
    .balign 16
    .globl vt_background_132_bmp
vt_background_132_bmp:
    .incbin "res/background_132.bmp"
    .globl vt_background_132_bmp_end
vt_background_132_bmp_end:
    .section .note.GNU-stack,"",%progbits
