-- Runs every frame on the start screen, with the level: the title over the
-- middle of the map (the init script centred the camera there).
DrawBox(480, -272, 640, 160, 220, 220, 220)
DrawText(456, -276, "Tazzle")
