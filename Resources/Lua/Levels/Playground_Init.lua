-- Runs once when the playground's map is read, with the level.
-- The map is 960 x 544 units: the camera fits its width to the screen.
FitCameraToMap(960, 544)

-- The controls, light on a dark plate at the top of the screen; the menu
-- belongs to the level, so the level change deletes it.
local hint = Menu:new()
MakePlate(hint, 500, 45, 60, 920, 0)
MakeText(hint, 500, 45, 50, 900, 28, "Left/Right: move   Up or Space: jump   Esc: pause")
print("Playground loaded")
