# norvane_embed_packages(<target> [<number>.rar ...])
# Makes <target> carry each archive as the raw-data item <number>_RAR.
function(norvane_embed_packages target)
endfunction()
