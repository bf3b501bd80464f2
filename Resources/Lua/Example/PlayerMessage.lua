-- Runs once a frame when messages came for the player: the object, the
-- number of messages, then for each message its number of values followed
-- by the values. A collision's values are "Collision", the normal x and y,
-- the other object's id, a code (0 pushed apart, 1 a ghost took part, 2 the
-- collision layers let it pass) and the player's velocity x and y.
-- A missing object is a null userdata, which Lua counts as true: IsNull.
local arguments = {...}
local at = 3
for message = 1, arguments[2] do
    local size = arguments[at]
    if arguments[at + 1] == "Collision" then
        local other = GetGameObject(arguments[at + 4])
        if IsNull(other) == 0 and other:GetName() == "Coin" and other:IsAlive() == 1 then
            other:Destroy()
            coins = coins + 1
            PlaySound("coin")
            print("Coins: " .. coins)
        end
    end
    at = at + size + 1
end
