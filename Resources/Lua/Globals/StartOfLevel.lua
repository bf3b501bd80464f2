-- Runs once a tile level has been loaded, after its objects were created
-- (their init scripts may already have added players to PLAYER_LIST).
-- Level-wide set-up shared by every level goes here.

-- Until levels are read from their maps, the start screen is drawn here,
-- every frame.
function OnLevelUpdate(dt)
    DrawBox(0, 0, 640, 160, 220, 220, 220)
    DrawText(-24, -4, "Tazzle")
end
