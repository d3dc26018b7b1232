# The layers of src/, lowest first: each folder and the folders its code may
# include. Nothing may include a folder that is not listed for it, so every
# arrow points down. The build makes one library per folder, linked along
# these edges, and refuses to build when an include breaks them.
set(tarnwick_layers base platform regexp record rules analysis scan runner report driver)
set(tarnwick_layer_base "")
set(tarnwick_layer_platform base)
set(tarnwick_layer_regexp base)
set(tarnwick_layer_record base)
set(tarnwick_layer_rules base platform regexp record)
set(tarnwick_layer_analysis base platform regexp record rules)
set(tarnwick_layer_scan base platform regexp rules analysis)
set(tarnwick_layer_runner base platform regexp record rules analysis)
set(tarnwick_layer_report base platform record)
set(tarnwick_layer_driver base platform regexp record rules analysis scan runner report)
