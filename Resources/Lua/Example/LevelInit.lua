-- Runs once as the example map is read (at its "Init" property, before its
-- objects exist), with the level as argument.
local level = ...
-- The map is 960 x 544 units, its top-left corner at (0, 0) and y pointing
-- up. Bound the camera to it and show 960 units across: the map then fills
-- the 1920-pixel-wide screen instead of a quarter of it.
local camera = GetCamera()
camera.lowerX, camera.upperX, camera.lowerY, camera.upperY = 0, 960, -544, 0
camera:SetBounds(960, 540)
camera:SetPosition(480, -272)       -- the map's middle
AddSound("coin.wav", "coin")        -- file under Resources/Sound/, then its name
coins = 0
