// The skin archive and the window icon, embedded in the program, and the table through which
// platform::findEmbeddedResource finds them (rows as platform::EmbeddedResource lays them out;
// types and ids as ui/skin_resources.h names them). The build passes the paths of the files.

    .section .rodata.brivano_resources, "a"
    .balign 16
skin_archive_begin:
    .incbin BRIVANO_SKIN_ARCHIVE_PATH
skin_archive_end:

    .balign 16
window_icon_begin:
    .incbin BRIVANO_WINDOW_ICON_PATH
window_icon_end:

zipres_type:
    .asciz "ZIPRES"
icon_type:
    .asciz "ICON"

// Addresses need load-time relocation in a position-independent program, hence a writable
// section that becomes read-only after relocation.
    .section .data.rel.ro.brivano_resources, "aw"
    .balign 8
    .globl brivano_embedded_resources
    .type brivano_embedded_resources, @object
brivano_embedded_resources:
    .quad zipres_type
    .long 147, 0
    .quad skin_archive_begin, skin_archive_end
    .quad icon_type
    .long 145, 0
    .quad window_icon_begin, window_icon_end
    .quad 0
    .long 0, 0
    .quad 0, 0
    .size brivano_embedded_resources, . - brivano_embedded_resources

    .section .note.GNU-stack, "", @progbits
