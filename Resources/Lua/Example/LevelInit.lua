-- Runs once when the example map has loaded, with the level as argument.
-- The map is 960 x 544 units with its top-left corner at (0, 0).
local level = ...
GetCamera():SetPosition(480, -272)  -- the map's middle: y points up
AddSound("coin.wav", "coin")        -- file under Resources/Sound/, then its name
coins = 0
